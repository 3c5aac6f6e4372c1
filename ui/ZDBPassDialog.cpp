#include "ui/ZDBPassDialog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TZDBPassDialog::TZDBPassDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("ZDBPassDialog"));
  setWindowTitle(QStringLiteral("Database authentication"));
  setWindowModality(Qt::ApplicationModal);

  nameLabel_ = new QLabel(this);
  nameLabel_->setObjectName(QStringLiteral("NameLabel"));
  nameLabel_->setAlignment(Qt::AlignCenter);

  passwordLabel_ = new QLabel(QStringLiteral("Password:"), this);
  passwordLabel_->setObjectName(QStringLiteral("PasswordLabel"));
  passwordEdit_ = new QLineEdit(this);
  passwordEdit_->setObjectName(QStringLiteral("PasswordEdit"));
  passwordEdit_->setEchoMode(QLineEdit::Password);
  // One "*" per character, whatever the style would draw.
  passwordEdit_->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
  passwordLabel_->setBuddy(passwordEdit_);

  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setObjectName(QStringLiteral("OKButton"));
  okButton_->setDefault(true);
  cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancelButton_->setObjectName(QStringLiteral("CancelButton"));
  cancelButton_->setAutoDefault(false);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(okButton_);
  buttons->addWidget(cancelButton_);
  auto* passwordRow = new QHBoxLayout;
  passwordRow->addWidget(passwordLabel_);
  passwordRow->addWidget(passwordEdit_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(nameLabel_);
  layout->addLayout(passwordRow);
  layout->addStretch();
  layout->addLayout(buttons);

  setFixedSize(ClientWidth, ClientHeight);
}

void TZDBPassDialog::SetName(const QString& name) { nameLabel_->setText(name); }

void TZDBPassDialog::CentreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

bool TZDBPassDialog::Execute(std::string& password) {
  passwordEdit_->clear();
  passwordEdit_->setFocus();
  CentreOnScreen();
  if (exec() != QDialog::Accepted) return false;
  password = passwordEdit_->text().toStdString();
  return true;
}
