#include "tester/dialogs/dialog_services.h"

#include <QFileDialog>
#include <QMessageBox>

namespace kmr {

namespace {

MessageBoxFunction& BoxFunction() {
  static MessageBoxFunction function;
  return function;
}
FileDialogFunction& OpenFunction() {
  static FileDialogFunction function;
  return function;
}
FileDialogFunction& SaveFunction() {
  static FileDialogFunction function;
  return function;
}

}  // namespace

void ShowMessageBox(QWidget* parent, BoxKind kind, const QString& text) {
  if (BoxFunction()) return BoxFunction()(parent, kind, text);
  if (kind == BoxKind::Critical)
    QMessageBox::critical(parent, kBoxTitle, text);
  else
    QMessageBox::information(parent, kBoxTitle, text);
}

QString AskOpenFileName(QWidget* parent, const QString& current) {
  if (OpenFunction()) return OpenFunction()(parent, current);
  return QFileDialog::getOpenFileName(parent, QString(), current);
}

QString AskSaveFileName(QWidget* parent, const QString& current) {
  if (SaveFunction()) return SaveFunction()(parent, current);
  // Qt asks before overwriting by default.
  return QFileDialog::getSaveFileName(parent, QString(), current);
}

void SetMessageBoxFunction(MessageBoxFunction function) {
  BoxFunction() = std::move(function);
}
void SetOpenFileFunction(FileDialogFunction function) {
  OpenFunction() = std::move(function);
}
void SetSaveFileFunction(FileDialogFunction function) {
  SaveFunction() = std::move(function);
}

}  // namespace kmr
