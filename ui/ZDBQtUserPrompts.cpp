#include "ui/ZDBQtUserPrompts.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include "ui/FrmWait.h"
#include "ui/ZDBPassDialog.h"

namespace {

// Windows need the application object; a process without one has nobody to ask.
bool HasWindows() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

QString Text(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

bool TZDBQtUserPrompts::AskYesNo(const std::string& question) {
  if (!HasWindows()) return zdb::TZDBUserPrompts::AskYesNo(question);
  QMessageBox box(QMessageBox::Question, QString::fromLatin1(QuestionCaption), Text(question),
                  QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void TZDBQtUserPrompts::ShowInformation(const std::string& text) {
  if (!HasWindows()) return zdb::TZDBUserPrompts::ShowInformation(text);
  QMessageBox::information(QApplication::activeWindow(), QString::fromLatin1(InformationCaption), Text(text));
}

void TZDBQtUserPrompts::ShowWarning(const std::string& text) {
  if (!HasWindows()) return zdb::TZDBUserPrompts::ShowWarning(text);
  QMessageBox::warning(QApplication::activeWindow(), QString::fromLatin1(WarningCaption), Text(text));
}

bool TZDBQtUserPrompts::AskPassword(std::string& password) {
  if (!HasWindows()) return zdb::TZDBUserPrompts::AskPassword(password);
  TZDBPassDialog dialog;
  return dialog.Execute(password);
}

std::unique_ptr<zdb::TZDBWaitWindow> TZDBQtUserPrompts::StartWait(const std::string& message) {
  if (!HasWindows()) return zdb::TZDBUserPrompts::StartWait(message);
  auto window = std::make_unique<TfrmWait>();
  window->Start(Text(message));
  return window;
}

TZDBQtUserPromptsScope::TZDBQtUserPromptsScope(bool install) : installed_(install) {
  if (installed_) zdb::SetUserPrompts(std::make_shared<TZDBQtUserPrompts>());
}

TZDBQtUserPromptsScope::~TZDBQtUserPromptsScope() {
  if (installed_) zdb::SetUserPrompts(nullptr);
}
