// The engine's windows: the password prompt, the wait window, and the answerer that asks
// through them, driven as a user drives them.

// The engine's headers first: Qt's keyword macros ("slots") must not reach them.
#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBMain.h"
#include "engine/file/ZDBDiskDatabaseData.h"
#include "tests/engine/file/support/DiskTestSupport.h"

#include "support/Ventanas.h"
#include "ui/FrmWait.h"
#include "ui/ZDBPassDialog.h"
#include "ui/ZDBQtUserPrompts.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Runs action on the modal window of type T as soon as it is shown (polling the event
// loop the modal window runs); gives up after a few seconds so a test never hangs.
template <typename T>
void WhenShown(std::function<void(T&)> action) {
  auto* poll = new QTimer;
  auto tries = std::make_shared<int>(0);
  QObject::connect(poll, &QTimer::timeout, [poll, tries, action] {
    if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      action(*window);
    } else if (++*tries > 500) {
      poll->stop();
      poll->deleteLater();
      ADD_FAILURE() << "the window was never shown";
    }
  });
  poll->start(10);
}

void Click(const QWidget& window, const char* button) {
  QTest::mouseClick(&Control<QPushButton>(window, button), Qt::LeftButton);
}

// --- password prompt ------------------------------------------------------------------------

TEST(ZDBPassDialog, LooksAsTheEngineShowsIt) {
  TZDBPassDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Database authentication"));
  EXPECT_EQ(dialog.size(), QSize(216, 118));
  EXPECT_EQ(Control<QLabel>(dialog, "PasswordLabel").text(), QStringLiteral("Password:"));
  EXPECT_EQ(Control<QLabel>(dialog, "NameLabel").text(), QString());
  EXPECT_EQ(Control<QPushButton>(dialog, "OKButton").text(), QStringLiteral("OK"));
  EXPECT_TRUE(Control<QPushButton>(dialog, "OKButton").isDefault());
  EXPECT_EQ(Control<QPushButton>(dialog, "CancelButton").text(), QStringLiteral("Cancel"));
}

TEST(ZDBPassDialog, AnswersTheTypedPasswordOnlyAfterOK) {
  struct Case {
    const char* button;
    bool answer;
    std::string password;
  };
  for (const Case& c : {Case{"OKButton", true, "clave 1"}, Case{"CancelButton", false, "antes"}}) {
    TZDBPassDialog dialog;
    std::string password = "antes";
    // Typed twice: the second showing starts with an empty edit again.
    for (int showing = 0; showing < 2; ++showing) {
      QString shownAtStart = QStringLiteral("not shown");
      QString echo;
      WhenShown<TZDBPassDialog>([&](TZDBPassDialog& shown) {
        QLineEdit& edit = Control<QLineEdit>(shown, "PasswordEdit");
        shownAtStart = edit.text();
        QTest::keyClicks(&edit, QStringLiteral("clave 1"));
        echo = edit.displayText();
        Click(shown, c.button);
      });
      EXPECT_EQ(dialog.Execute(password), c.answer) << c.button;
      EXPECT_EQ(shownAtStart, QString()) << c.button;
      EXPECT_EQ(echo, QStringLiteral("*******")) << c.button;
      EXPECT_EQ(password, c.password) << c.button;
    }
  }
}

// An encrypted file opened without its password asks for it through the prompt.
class EncryptedDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    zdb::TZDBDiskDatabaseData creator(path);
    creator.SetPassword(zdb::TZDBPassword{"clave", 0});
    creator.CreateDatabase();
    database.SetDatabaseName("Cifrada");
    database.SetDatabaseFileName(path);
  }

  TZDBQtUserPromptsScope prompts;
  zdb::test::TempFolder folder;
  std::string path = folder.File("Cifrada.zdb");
  zdb::TZDBDatabase database;
};

TEST_F(EncryptedDatabase, CancelLetsThePasswordErrorPassOn) {
  int prompted = 0;
  WhenShown<TZDBPassDialog>([&](TZDBPassDialog& shown) {
    ++prompted;
    Click(shown, "CancelButton");
  });
  try {
    database.Open();
    FAIL() << "the database connected";
  } catch (const zdb::EZDBException& e) {
    EXPECT_EQ(e.NativeError(), 30445);
    EXPECT_STREQ(e.what(), "Cannot open database - incorrect password - Native error: 30445");
  }
  EXPECT_EQ(prompted, 1);
  EXPECT_FALSE(database.Connected());
}

TEST_F(EncryptedDatabase, OKWithTheRightPasswordConnectsAfterAWrongOne) {
  // A wrong password asks again; the right one connects.
  std::vector<std::string> typed = {"Clave", "clave"};
  size_t prompted = 0;
  std::function<void(TZDBPassDialog&)> answer = [&](TZDBPassDialog& shown) {
    QTest::keyClicks(&Control<QLineEdit>(shown, "PasswordEdit"), QString::fromStdString(typed.at(prompted)));
    if (++prompted < typed.size()) WhenShown<TZDBPassDialog>(answer);
    Click(shown, "OKButton");
  };
  WhenShown<TZDBPassDialog>(answer);
  database.Open();
  EXPECT_TRUE(database.Connected());
  EXPECT_EQ(prompted, typed.size());
  EXPECT_EQ(database.Password(), "clave");
}

// --- the answerer's message boxes -----------------------------------------------------------

TEST(ZDBQtUserPrompts, AsksYesOrNoInAMessageBox) {
  TZDBQtUserPrompts prompts;
  for (const bool yes : {true, false}) {
    QString asked;
    WhenShown<QMessageBox>([&](QMessageBox& box) {
      asked = box.text();
      box.button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    EXPECT_EQ(prompts.AskYesNo(zdb::TZDBDatabase::RepairQuestion), yes);
    EXPECT_EQ(asked, QString::fromLatin1(zdb::TZDBDatabase::RepairQuestion));
  }
  QString shown;
  WhenShown<QMessageBox>([&](QMessageBox& box) {
    shown = box.windowTitle() + ": " + box.text();
    box.button(QMessageBox::Ok)->click();
  });
  prompts.ShowWarning("Unknown error");
  EXPECT_EQ(shown, QStringLiteral("Warning: Unknown error"));
}

// --- wait window ----------------------------------------------------------------------------

class WaitWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    main.setWindowTitle(QStringLiteral("main"));
    ASSERT_TRUE(MuestraActiva(main));
  }
  void TearDown() override { main.close(); }

  static TfrmWait& Frame(const std::unique_ptr<zdb::TZDBWaitWindow>& wait) {
    auto* window = dynamic_cast<TfrmWait*>(wait.get());
    if (window == nullptr) throw std::runtime_error("the wait is not a TfrmWait");
    return *window;
  }

  TZDBQtUserPrompts prompts;
  QWidget main;
};

TEST_F(WaitWindow, StartsHiddenWithItsMessageAndTheShowTimer) {
  auto wait = prompts.StartWait(zdb::TZDBDatabase::RepairWaitMessage);
  TfrmWait& window = Frame(wait);
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Please Wait..."));
  EXPECT_EQ(window.size(), QSize(312, 118));
  EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(window.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_EQ(Control<QLabel>(window, "MessageLabel").text(), QStringLiteral("Repairing Database..."));
  EXPECT_EQ(Control<QProgressBar>(window, "ProgressBar").maximum(), 100);
  EXPECT_TRUE(Control<QPushButton>(window, "AbortButton").isDefault());
  EXPECT_EQ(Control<QPushButton>(window, "BackgroundButton").text(), QStringLiteral("Background Mode"));
  const QTimer& timer = Control<QTimer>(window, "ShowTimer");
  EXPECT_TRUE(timer.isActive());
  EXPECT_TRUE(timer.isSingleShot());
  EXPECT_EQ(timer.interval(), 500);
  EXPECT_FALSE(window.isVisible());
  EXPECT_TRUE(main.isEnabled());
}

TEST_F(WaitWindow, TheShowTimerSkipsAnOperationThatIsDoneOrNearlyDone) {
  struct Case {
    int progress;
    bool finished;
    bool shown;
  };
  for (const Case& c : {Case{10, false, true}, Case{50, false, true}, Case{51, false, false}, Case{10, true, false}}) {
    TfrmWait window;
    window.Start(QStringLiteral("Wait..."));
    EXPECT_TRUE(window.Progress(c.progress));
    if (c.finished) window.Finish();
    window.ShowTimerTimer();
    EXPECT_EQ(window.isVisible(), c.shown) << c.progress << (c.finished ? " finished" : "");
    EXPECT_EQ(main.isEnabled(), !c.shown) << c.progress << (c.finished ? " finished" : "");
    window.Finish();
    EXPECT_TRUE(main.isEnabled());
    EXPECT_FALSE(Control<QTimer>(window, "ShowTimer").isActive());
  }
}

TEST_F(WaitWindow, AFastOperationNeverShowsIt) {
  auto wait = prompts.StartWait("Wait...");
  const TfrmWait& window = Frame(wait);
  for (int percent = 0; percent <= 100; percent += 25) {
    EXPECT_TRUE(wait->Progress(percent));
    EXPECT_FALSE(window.isVisible()) << percent;
  }
  wait.reset();
  EXPECT_TRUE(main.isEnabled());
}

TEST_F(WaitWindow, AbortStopsASlowOperationAndTheWindowsComeBack) {
  auto wait = prompts.StartWait("Wait...");
  TfrmWait& window = Frame(wait);
  // The user presses "Abort" once the window shows.
  auto* user = new QTimer(&window);
  QObject::connect(user, &QTimer::timeout, [&] {
    if (!window.isVisible()) return;
    user->stop();
    EXPECT_FALSE(main.isEnabled());
    Click(window, "AbortButton");
  });
  user->start(10);
  int reports = 0;
  while (reports < 2000 && wait->Progress(reports % 50)) {
    ++reports;
    QThread::msleep(5);
  }
  EXPECT_LT(reports, 2000) << "the operation was never aborted";
  EXPECT_TRUE(window.Aborted());
  EXPECT_FALSE(wait->Progress(60)) << "aborted stays aborted";
  wait.reset();
  EXPECT_TRUE(main.isEnabled());
}

TEST_F(WaitWindow, BackgroundModeMinimisesUntilTheUserRestores) {
  TfrmWait window;
  window.Start(QStringLiteral("Repairing Database..."));
  window.ShowTimerTimer();
  ASSERT_TRUE(window.isVisible());
  Click(window, "BackgroundButton");
  EXPECT_FALSE(window.isVisible());
  EXPECT_TRUE(main.isMinimized());
  EXPECT_TRUE(main.isEnabled());
  EXPECT_FALSE(Control<QTimer>(window, "ShowTimer").isActive());

  main.showNormal();  // the user brings the application back: the wait starts again
  EXPECT_TRUE(Control<QTimer>(window, "ShowTimer").isActive());
  EXPECT_EQ(Control<QLabel>(window, "MessageLabel").text(), QStringLiteral("Repairing Database..."));

  window.ShowTimerTimer();
  Click(window, "BackgroundButton");
  window.Finish();  // the operation ended in the background: the application comes back
  EXPECT_FALSE(main.isMinimized());
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
