// The engine's wait window: shown over the application while a long operation (a repair)
// runs, with its progress, an "Abort" button and a "Background Mode" button that hides
// the window and minimises the application until the user restores it.
//
// A fast operation never flashes it: the window appears only when the show timer
// (500 ms) fires while the operation is still running and not beyond half its progress.
// While it is shown every other window of the application is disabled; hiding it enables
// them again and gives the activation back.
//
// Contract: the operation calls Progress often, on the user-interface thread; Progress
// processes pending events (so clicks and the timer arrive) and answers false once
// "Abort" was pressed. Destroying the window finishes it.
#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>

#include "zdb/UserPrompts.h"

class QEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class TfrmWait : public QDialog, public zdb::TZDBWaitWindow {
  Q_OBJECT

 public:
  static constexpr int ClientWidth = 312;
  static constexpr int ClientHeight = 118;
  static constexpr int ShowDelayMs = 500;
  // Beyond this progress the operation is nearly done: the window is not shown any more.
  static constexpr int ShowProgressLimit = 50;

  explicit TfrmWait(QWidget* parent = nullptr);
  // Finishes the window when that was not done.
  ~TfrmWait() override;

  // Starts waiting with the message: the show timer runs, nothing is shown yet.
  void Start(const QString& message);
  // Sets the bar and lets pending events run; false once the user aborted.
  bool Progress(int percent) override;
  // Hides the window, restores the application and stops every timer and watch.
  void Finish();

  bool Aborted() const { return aborted_; }

  // Event handlers, public so that the windows' tests can fire them.
  void ShowTimerTimer();
  void AbortButtonClick();
  void BackgroundButtonClick();

 protected:
  // Escape is the cancel button: it aborts instead of closing the window.
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CentreOnScreen();
  void HideWindow();
  void DisableOtherWindows();
  void EnableOtherWindows();
  void WatchForRestore(bool watch);
  void RestoreApplication();

  QLabel* messageLabel_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QPushButton* abortButton_ = nullptr;
  QPushButton* backgroundButton_ = nullptr;
  QTimer* showTimer_ = nullptr;

  QString message_;
  int progress_ = 0;
  bool aborted_ = false;
  bool shown_ = false;
  bool finished_ = false;
  bool watchingRestore_ = false;
  QPointer<QWidget> activeWindow_;
  QList<QPointer<QWidget>> disabledWindows_;
  QList<QPointer<QWidget>> minimisedWindows_;
};
