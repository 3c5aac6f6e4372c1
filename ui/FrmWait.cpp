#include "ui/FrmWait.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int FullProgress = 100;

}  // namespace

TfrmWait::TfrmWait(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("frmWait"));
  setWindowTitle(QStringLiteral("Please Wait..."));
  setCursor(Qt::WaitCursor);

  messageLabel_ = new QLabel(QStringLiteral("Wait..."), this);
  messageLabel_->setObjectName(QStringLiteral("MessageLabel"));
  messageLabel_->setAlignment(Qt::AlignCenter);
  messageLabel_->setWordWrap(true);

  progressBar_ = new QProgressBar(this);
  progressBar_->setObjectName(QStringLiteral("ProgressBar"));
  progressBar_->setRange(0, FullProgress);
  progressBar_->setValue(0);
  progressBar_->setTextVisible(false);

  abortButton_ = new QPushButton(QStringLiteral("Abort"), this);
  abortButton_->setObjectName(QStringLiteral("AbortButton"));
  abortButton_->setDefault(true);
  backgroundButton_ = new QPushButton(QStringLiteral("Background Mode"), this);
  backgroundButton_->setObjectName(QStringLiteral("BackgroundButton"));
  backgroundButton_->setAutoDefault(false);
  connect(abortButton_, &QPushButton::clicked, this, &TfrmWait::AbortButtonClick);
  connect(backgroundButton_, &QPushButton::clicked, this, &TfrmWait::BackgroundButtonClick);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(abortButton_);
  buttons->addWidget(backgroundButton_);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(messageLabel_, 1);
  layout->addWidget(progressBar_);
  layout->addLayout(buttons);

  showTimer_ = new QTimer(this);
  showTimer_->setObjectName(QStringLiteral("ShowTimer"));
  showTimer_->setSingleShot(true);
  showTimer_->setInterval(ShowDelayMs);
  connect(showTimer_, &QTimer::timeout, this, &TfrmWait::ShowTimerTimer);

  setFixedSize(ClientWidth, ClientHeight);
}

TfrmWait::~TfrmWait() {
  if (!finished_) Finish();
}

void TfrmWait::CentreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

void TfrmWait::Start(const QString& message) {
  message_ = message;
  messageLabel_->setText(message);
  aborted_ = false;
  abortButton_->setFocus();
  shown_ = false;
  finished_ = false;
  showTimer_->start();
}

void TfrmWait::ShowTimerTimer() {
  showTimer_->stop();
  if (finished_ || progress_ > ShowProgressLimit) return;
  activeWindow_ = QApplication::activeWindow();
  DisableOtherWindows();
  shown_ = true;
  CentreOnScreen();
  show();
  raise();
  activateWindow();
  abortButton_->setFocus();
}

bool TfrmWait::Progress(int percent) {
  progress_ = percent;
  progressBar_->setValue(percent);
  QCoreApplication::processEvents();
  return !aborted_;
}

void TfrmWait::AbortButtonClick() { aborted_ = true; }

void TfrmWait::reject() { AbortButtonClick(); }

void TfrmWait::BackgroundButtonClick() {
  WatchForRestore(true);
  HideWindow();
  minimisedWindows_.clear();
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window == this || !window->isVisible() || window->isMinimized()) continue;
    minimisedWindows_.append(window);
    window->showMinimized();
  }
}

bool TfrmWait::eventFilter(QObject* watched, QEvent* event) {
  // The application coming back from the background starts the wait again.
  if (watchingRestore_ && event->type() == QEvent::WindowStateChange) {
    auto* window = qobject_cast<QWidget*>(watched);
    if (window != nullptr && window != this && window->isWindow() && !window->isMinimized()) {
      WatchForRestore(false);
      Start(message_);
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmWait::WatchForRestore(bool watch) {
  if (watch == watchingRestore_) return;
  watchingRestore_ = watch;
  if (watch)
    qApp->installEventFilter(this);
  else
    qApp->removeEventFilter(this);
}

void TfrmWait::Finish() {
  WatchForRestore(false);
  HideWindow();
  RestoreApplication();
  finished_ = true;
  close();
}

void TfrmWait::RestoreApplication() {
  for (const QPointer<QWidget>& window : minimisedWindows_)
    if (window && window->isMinimized()) window->showNormal();
  minimisedWindows_.clear();
}

void TfrmWait::HideWindow() {
  showTimer_->stop();
  hide();
  if (!shown_) return;
  shown_ = false;
  EnableOtherWindows();
  if (activeWindow_) activeWindow_->activateWindow();
  activeWindow_.clear();
}

void TfrmWait::DisableOtherWindows() {
  disabledWindows_.clear();
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window == this || !window->isEnabled()) continue;
    disabledWindows_.append(window);
    window->setEnabled(false);
  }
}

void TfrmWait::EnableOtherWindows() {
  // Only what this window disabled: a window that was disabled before stays so.
  for (const QPointer<QWidget>& window : disabledWindows_)
    if (window) window->setEnabled(true);
  disabledWindows_.clear();
}
