// The few places where the tester's windows wait for a person: message boxes and file dialogs.
// Each goes through a replaceable function so that tests can answer them without a screen.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace kmr {

enum class BoxKind { Information, Critical };

using MessageBoxFunction = std::function<void(QWidget* parent, BoxKind kind, const QString& text)>;
using FileDialogFunction = std::function<QString(QWidget* parent, const QString& current)>;
using OpenFileFunction = std::function<bool(const QString& path)>;

// Every box of the tester carries the program's name as its title.
inline constexpr const char* kBoxTitle = "KMRTester";

void ShowMessageBox(QWidget* parent, BoxKind kind, const QString& text);
// Empty when the person cancels.
QString AskOpenFileName(QWidget* parent, const QString& current);
QString AskSaveFileName(QWidget* parent, const QString& current);
// A folder to write into; empty when the person cancels.
QString AskFolderName(QWidget* parent, const QString& current);
// Opens a file with the desktop's program for it (a page in the browser); false when none.
bool OpenWithDesktop(const QString& path);

// An empty function restores the real dialog.
void SetMessageBoxFunction(MessageBoxFunction function);
void SetOpenFileFunction(FileDialogFunction function);
void SetSaveFileFunction(FileDialogFunction function);
void SetFolderFunction(FileDialogFunction function);
void SetOpenWithDesktopFunction(OpenFileFunction function);

}  // namespace kmr
