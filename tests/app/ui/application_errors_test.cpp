#include "app/ui/application_errors.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QWidget>

#include <stdexcept>
#include <string>

#include "app/ui/modal_ui.h"
#include "platform/errors.h"
#include "scripted_modal_ui.h"

namespace tagsmith {
namespace {

TEST(RunGuarded, ShowsTheMessageOfWhatTheCommandThrew) {
  struct Case {
    const char* name;
    std::function<void()> body;
    const char* shown;
  } cases[] = {
      {"system error", [] { throw Exception("The picture cannot be read"); }, "The picture cannot be read"},
      {"standard error", [] { throw std::runtime_error("disk full"); }, "disk full"},
      {"out of memory", [] { throw std::bad_alloc(); }, "Out of memory"},
      {"unknown", [] { throw 42; }, "An unexpected error occurred"},
      {"empty message", [] { throw Exception(""); }, "An unexpected error occurred"},
      {"UTF-8 message", [] { throw Exception("Файл не найден"); }, "Файл не найден"},
  };
  for (const Case& c : cases) {
    testing::ScriptedModalUi ui;
    QWidget parent;
    EXPECT_FALSE(RunGuarded(&parent, c.body)) << c.name;
    ASSERT_EQ(ui.Errors().size(), 1u) << c.name;
    EXPECT_EQ(ui.Errors()[0], QString::fromUtf8(c.shown)) << c.name;
  }
}

TEST(RunGuarded, ACommandThatFinishesShowsNothing) {
  testing::ScriptedModalUi ui;
  int runs = 0;
  EXPECT_TRUE(RunGuarded(nullptr, [&] { ++runs; }));
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(ui.calls.empty());
}

TEST(ModalUi, AnInstalledUiAnswersUntilItIsRemoved) {
  IModalUi* qtBoxes = &ModalUi();
  {
    testing::ScriptedModalUi ui;
    EXPECT_EQ(&ModalUi(), &ui);
    ui.asks.push_back(true);
    ui.opens.push_back({"/a.rtf", "/b.rtf"});
    ui.saves.push_back("/c.rtf");
    ui.dialogs.push_back([](QDialog& d) {
      EXPECT_EQ(d.windowTitle(), "Paste Special");
      return int(QDialog::Accepted);
    });
    EXPECT_TRUE(ModalUi().Ask(nullptr, "Confirm", "Exit?", true));
    EXPECT_EQ(ModalUi().OpenFileNames(nullptr, "Select image", "Pictures (*.png)", true),
              QStringList({"/a.rtf", "/b.rtf"}));
    EXPECT_EQ(ModalUi().SaveFileName(nullptr, "Save", "RTF (*.rtf)", "rtf"), "/c.rtf");
    QDialog dialog;
    dialog.setWindowTitle("Paste Special");
    EXPECT_EQ(ModalUi().Exec(dialog), QDialog::Accepted);
    ASSERT_EQ(ui.calls.size(), 4u);
    EXPECT_EQ(ui.calls[0].kind, "ask");
    EXPECT_TRUE(ui.calls[0].flag);
    EXPECT_EQ(ui.calls[1].text, "Pictures (*.png)");
    EXPECT_TRUE(ui.calls[1].flag);
    EXPECT_EQ(ui.calls[2].suffix, "rtf");
    EXPECT_EQ(ui.calls[3].title, "Paste Special");
  }
  EXPECT_EQ(&ModalUi(), qtBoxes);
}

}  // namespace
}  // namespace tagsmith
