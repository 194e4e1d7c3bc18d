#include "tester/dialogs/dialog_services.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

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
FileDialogFunction& FolderFunction() {
  static FileDialogFunction function;
  return function;
}
OpenFileFunction& DesktopFunction() {
  static OpenFileFunction function;
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

QString AskFolderName(QWidget* parent, const QString& current) {
  if (FolderFunction()) return FolderFunction()(parent, current);
  return QFileDialog::getExistingDirectory(parent, "Save Report", current);
}

bool OpenWithDesktop(const QString& path) {
  if (DesktopFunction()) return DesktopFunction()(path);
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
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

void SetFolderFunction(FileDialogFunction function) {
  FolderFunction() = std::move(function);
}
void SetOpenWithDesktopFunction(OpenFileFunction function) {
  DesktopFunction() = std::move(function);
}

}  // namespace kmr
