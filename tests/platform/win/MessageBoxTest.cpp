#include <gtest/gtest.h>

#include <vector>

#include "platform/win/messagebox.h"

namespace {
TEST(MessageBox, DefaultAnswerIsTheDefaultButton) {
  const struct {
    UINT type;
    int answer;
  } cases[] = {
      {MB_OK, IDOK},
      {MB_OK | MB_DEFBUTTON2, IDOK},  // no second button: the first
      {MB_OKCANCEL, IDOK},
      {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
      {MB_YESNO | MB_ICONQUESTION, IDYES},
      {MB_YESNO | MB_DEFBUTTON2, IDNO},
      {MB_YESNOCANCEL | MB_DEFBUTTON3 | MB_ICONWARNING, IDCANCEL},
      {MB_YESNOCANCEL | MB_DEFBUTTON2, IDNO},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, IDIGNORE},
      {MB_RETRYCANCEL, IDRETRY},
      {MB_YESNO | 0x300, IDYES},  // an undefined default button number
      {0xE, IDOK},                // an undefined box type
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    EXPECT_EQ(DefaultMessageBoxAnswer(c.type), c.answer);
  }
}

TEST(MessageBox, ScriptedPresenterAnswersAndSeesEveryBox) {
  struct Shown {
    HWND owner;
    std::string text, caption;
    UINT type;
  };
  std::vector<Shown> shown;
  std::vector<int> answers = {IDNO, IDCANCEL};
  {
    ScopedMessageBoxPresenter script([&](HWND owner, const std::string& text, const std::string& caption, UINT type) {
      shown.push_back({owner, text, caption, type});
      int answer = answers.front();
      answers.erase(answers.begin());
      return answer;
    });
    EXPECT_EQ(MessageBox(0, "Change the audio mode?", "Media Type Change", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBox(0x10002, "Stop?", nullptr, MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
  }
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "Change the audio mode?");
  EXPECT_EQ(shown[0].caption, "Media Type Change");
  EXPECT_EQ(shown[0].type, MB_YESNO);
  EXPECT_EQ(shown[1].owner, 0x10002);
  EXPECT_EQ(shown[1].caption, "Error");

  // Outside the scope the headless default answers on standard error.
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBox(0, "Input stream does not appear to be a transport stream", "Flumetta", MB_OK), IDOK);
  EXPECT_EQ(MessageBox(0, "Overwrite?", "Brannock", MB_YESNO | MB_DEFBUTTON2), IDNO);
  const std::string written = testing::internal::GetCapturedStderr();
  EXPECT_NE(written.find("Flumetta: Input stream does not appear to be a transport stream\n"), std::string::npos);
  EXPECT_NE(written.find("Brannock: Overwrite?\n"), std::string::npos);
}
}  // namespace
