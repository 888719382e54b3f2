// The window's texts, reason tables and save-path rules.

#include <gtest/gtest.h>

#include "app/qt_ui_services.hpp"
#include "app/ui_services.hpp"
#include "app/window_texts.hpp"
#include "app_test_support.hpp"

namespace krt::app {
namespace {

TEST(WindowTexts, StringTableHoldsTheExactTexts) {
  const struct {
    TextId id;
    const char* text;
  } cases[] = {
      {TextId::kParameterFilter, "Parameter Files(*.cfg)|*.cfg||"},
      {TextId::kNoData, "No data"},
      {TextId::kUploadedFromDevice, "Uploaded from device"},
      {TextId::kFailedToRead, "Failed to read"},
      {TextId::kFailedToWrite, "Failed to write"},
      {TextId::kFailedToOpenFile, "Failed to open file"},
      {TextId::kFailedToReadFile, "Failed to read file"},
      {TextId::kIllegalDataCode, "Illegal data (Error code: %02d)"},
      {TextId::kInternalError, "Internal error"},
      {TextId::kFailedToInitPort, "Failed to initialize COM port"},
      {TextId::kFailedToCommunicate, "Failed to communicate"},
      {TextId::kFailedToWriteFile, "Failed to write file"},
      {TextId::kDeviceErrorCode, "Device error (Error code: %02d)"},
      {TextId::kIllegalData, "Illegal data"},
      {TextId::kUnsupportedDevice, "Unsupported device"},
      {TextId::kReadingCompleted, "Reading completed"},
      {TextId::kWritingCompleted, "Writing completed"},
      {TextId::kOverwrite, "Overwrite?"},
      {TextId::kDeviceModelPrefix, "Device Model : "},
      {TextId::kLcdVersionPrefix, "LCD Ver. : "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.id));
    EXPECT_EQ(Text(c.id), c.text);
  }
  EXPECT_EQ(WindowTitle(), "KRTCFG [Ver. 1.80.02]");
}

TEST(WindowTexts, ModelNamesAndDefaultFileNames) {
  const struct {
    int index;
    const char* name;
  } cases[] = {
      {0, "KRT410"}, {1, "KRT610"}, {2, "KRT411"}, {3, "KRT611"}, {4, "RT610J"},  {5, "RT610N"}, {6, "RT610L"},
      {7, "RT610M"}, {8, ""},       {9, "RT610X"}, {10, ""},      {11, "RT611X"}, {12, ""},      {-1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    const std::string name = c.name;
    EXPECT_EQ(ModelName(c.index), name);
    EXPECT_EQ(DefaultCfgName(c.index), name.empty() ? "" : name + ".cfg");
    EXPECT_EQ(DefaultCsvName(c.index), name.empty() ? "" : name + ".csv");
  }
  EXPECT_EQ(ModelLabel(9), "Device Model : RT610X");
  EXPECT_EQ(LcdVersionLabel(1, 2), "LCD Ver. : 1.2x");
}

struct ReasonCase {
  int code;
  int deviceError;
  const char* reason;
};

TEST(WindowTexts, ConfigErrorTextTable) {
  const ReasonCase cases[] = {
      {-1, 0, "Failed to open file"},
      {-2, 0, "Failed to read file"},
      {-3, 0, "Illegal data (Error code: 01)"},
      {-4, 0, "Illegal data (Error code: 02)"},
      {-5, 0, "Internal error"},
      {-6, 0, "Failed to initialize COM port"},
      {-7, 0, "Failed to communicate"},
      {-8, 0, ""},
      {0, 0, ""},
      {1, 0, ""},
  };
  for (const ReasonCase& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(ConfigErrorText(c.code), c.reason);
  }
}

TEST(WindowTexts, WriteErrorTextTable) {
  const ReasonCase cases[] = {
      {-1, 0, "Failed to open file"},
      {-2, 0, "Failed to write file"},
      {-3, 0, "Internal error"},
      {-4, 0, "Failed to initialize COM port"},
      {-5, 0, "Failed to communicate"},
      {-6, 0, ""},
      {-7, 5, "Device error (Error code: 05)"},
      {-7, 123, "Device error (Error code: 123)"},
      {-8, 0, "Illegal data (Error code: 01)"},
      {-9, 0, "Illegal data (Error code: 02)"},
      {-10, 0, ""},
  };
  for (const ReasonCase& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(WriteErrorText(c.code, c.deviceError), c.reason);
  }
}

TEST(WindowTexts, TrendReasonTables) {
  const ReasonCase reads[] = {
      {-1, 0, "Failed to initialize COM port"},
      {-2, 0, "Failed to communicate"},
      {-3, 0, "Unsupported device"},
      {-4, 0, "Illegal data"},
      {-5, 0, ""},
  };
  for (const ReasonCase& c : reads) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(TrendReadErrorText(c.code), c.reason);
  }
  const ReasonCase writes[] = {
      {-1, 0, "Failed to open file"},
      {-2, 0, "Failed to write file"},
      {-3, 0, "Illegal data"},
      {-4, 0, ""},
  };
  for (const ReasonCase& c : writes) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(TrendWriteErrorText(c.code), c.reason);
  }
  EXPECT_EQ(FailureMessage(TextId::kFailedToWrite, WriteErrorText(-7, 5)),
            "Failed to write\nDevice error (Error code: 05)");
  EXPECT_EQ(FailureMessage(TextId::kFailedToRead, ""), "Failed to read\n");
}

TEST(WindowTexts, PermissionProblemsAreRecognised) {
  EXPECT_TRUE(IsPermissionProblem("/dev/ttyUSB0: Permission denied"));
  EXPECT_TRUE(IsPermissionProblem("no PERMISSION to open"));
  EXPECT_FALSE(IsPermissionProblem("/dev/ttyUSB0: No such file or directory"));
  EXPECT_FALSE(IsPermissionProblem(""));
  EXPECT_NE(PermissionHint().find("sudo usermod -aG dialout $USER"), std::string::npos);
}

TEST(SavePath, ExtensionRule) {
  const struct {
    const char* chosen;
    const char* extension;
    const char* result;
  } cases[] = {
      {"/home/u/name", ".cfg", "/home/u/name.cfg"},
      {"/home/u/name.txt", ".cfg", "/home/u/name.cfg"},
      {"/home/u/name.cfg", ".cfg", "/home/u/name.cfg"},
      {"/home/u/my.folder/name", ".csv", "/home/u/my.folder/name.csv"},
      {"/home/u/my.folder/a.b.txt", ".csv", "/home/u/my.folder/a.b.csv"},
      {"name", ".cfg", "name.cfg"},
      {"/home/u/name.", ".cfg", "/home/u/name.cfg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chosen);
    EXPECT_EQ(WithExtension(c.chosen, c.extension), c.result);
  }
  EXPECT_EQ(FileNamePart("/home/u/KRT610.cfg"), "KRT610.cfg");
  EXPECT_EQ(FileNamePart("KRT610.cfg"), "KRT610.cfg");
  EXPECT_EQ(FileNamePart("/home/u/"), "");
}

TEST(SavePath, AnswerNoShowsTheDialogAgainWithTheAdjustedName) {
  test::ScriptedUi ui;
  ui.save_answers = {std::string("/data/out.txt"), std::string("/data/other")};
  ui.existing = {"/data/out.cfg"};
  ui.question_answers = {false};

  const std::optional<std::string> path = ChooseSavePath(ui, "Parameter Files(*.cfg)|*.cfg||", ".cfg", "RT610X.cfg");

  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(*path, "/data/other.cfg");
  ASSERT_EQ(ui.save_dialogs.size(), 2u);
  EXPECT_EQ(ui.save_dialogs[0].initial_name, "RT610X.cfg");
  EXPECT_EQ(ui.save_dialogs[0].filter, "Parameter Files(*.cfg)|*.cfg||");
  EXPECT_EQ(ui.save_dialogs[1].initial_name, "/data/out.cfg");
  EXPECT_EQ(ui.Transcript(), std::vector<std::string>{"question: Overwrite?"});
}

TEST(SavePath, YesReplacesAndCancelEndsSilently) {
  test::ScriptedUi ui;
  ui.save_answers = {std::string("/data/out")};
  ui.existing = {"/data/out.csv"};
  ui.question_answers = {true};
  EXPECT_EQ(ChooseSavePath(ui, "*.csv|*.csv||", ".csv", "x.csv"), std::optional<std::string>("/data/out.csv"));

  test::ScriptedUi cancelling;
  cancelling.save_answers = {std::string("/data/out"), std::nullopt};
  cancelling.existing = {"/data/out.csv"};
  cancelling.question_answers = {false};
  EXPECT_EQ(ChooseSavePath(cancelling, "*.csv|*.csv||", ".csv", "x.csv"), std::nullopt);
  EXPECT_EQ(cancelling.save_dialogs.size(), 2u);
  EXPECT_EQ(cancelling.Transcript(), std::vector<std::string>{"question: Overwrite?"});
}

TEST(SavePath, FiltersInQtForm) {
  EXPECT_EQ(QtNameFilters("Parameter Files(*.cfg)|*.cfg||").toStdString(), "Parameter Files(*.cfg)");
  EXPECT_EQ(QtNameFilters("*.csv|*.csv||").toStdString(), "*.csv (*.csv)");
  EXPECT_EQ(QtNameFilters("Text|*.txt;*.log|All|*||").toStdString(), "Text (*.txt *.log)\nAll (*)");
  ASSERT_EQ(ParseFileFilter("*.csv|*.csv||").size(), 1u);
}

}  // namespace
}  // namespace krt::app
