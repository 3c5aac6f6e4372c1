// The engine's password prompt: asked when the password given for an encrypted database
// file does not open it. Modal; the typed text is shown as one "*" per character and is
// handed back only when the prompt closes with "OK".
#pragma once

#include <QDialog>
#include <QString>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

class TZDBPassDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int ClientWidth = 216;
  static constexpr int ClientHeight = 118;

  explicit TZDBPassDialog(QWidget* parent = nullptr);

  // The name shown over the edit (empty unless set).
  void SetName(const QString& name);
  // Shows the prompt with an empty edit and waits for the answer: true with the typed
  // text in password (UTF-8) after "OK"; false after "Cancel", password untouched.
  bool Execute(std::string& password);

 private:
  void CentreOnScreen();

  QLabel* nameLabel_ = nullptr;
  QLabel* passwordLabel_ = nullptr;
  QLineEdit* passwordEdit_ = nullptr;
  QPushButton* okButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
};
