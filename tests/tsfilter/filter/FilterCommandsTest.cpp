// The attribute interface on a loaded filter: what the bundled sample answers, and what the two
// commands change in the filter's behaviour (the end-of-file notice, the demultiplexer setting).
#include <gtest/gtest.h>

#include <string>

#include "platform/registry/registry.h"
#include "platform/win/messages.h"
#include "shared/EndOfFileMessage.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tests/tsfilter/filter/SourceChain.h"
#include "tsfilter/services/SettingsStore.h"

namespace tsfilter {
namespace {

using testing::Chain;

TEST(FilterCommandsTest, TheSampleAnswersEveryKeyAsText) {
  TemporaryRegistry registry;
  Chain chain(SAMPLE_TS, 0, false);
  const std::pair<const char16_t*, const char*> cases[] = {
      {u"NUMPIDS", "6"},
      {u"NUMPACKETS", "10584"},
      {u"MAXPACKET", "10584"},
      {u"CURPACKET", "0"},
      {u"PMTPID", "4096"},
      {u"GETPID(0)", "0x0100 (256)"},  // rows sorted by packet count
      {u"GETPID(5)", "0x0011 (17)"},
      {u"GETPID(6)", ""},   // as many as NUMPIDS: beyond the table
      {u"GETPID(-1)", ""},
      {u"GETPIDS", "0x0100 (256)"},  // read as GETPID with no number, row 0
      {u"GETPACKETS(0)", "6363"},
      {u"GETTYPE(0)", "224"},
      {u"GETNAME(1)", "Orvanet Test"},
      {u"GETNAME(5)", "Program 5"},
      {u"VIDEOSIZE", "720 x 576"},
      {u"VIDEOSIZE2", ""},  // an exact key
      {u"FRAMERATE", "25.00"},
      {u"ASPECTRATIO", "4:3"},
      {u"AUDIOPID", "0x0101 (257)"},
      {u"AUDIOFORMAT", "13818-1 priv AC3"},
      {u"AUDIOTYPE", "06"},
      {u"MEDIALEN", "00:00:09.920"},  // time zero to the last video PTS (a B-frame of the last picture group)
      {u"H264.NUMPARAMS", "0"},
      {u"H264.GETPARAM(0)", ""},
      {u"numpids", ""},
  };
  for (const auto& [key, answer] : cases) EXPECT_EQ(chain.Attribute(key), answer) << Utf16ToUtf8(key);
}

LRESULT IgnoreMessages(HWND, UINT, WPARAM, LPARAM) { return 0; }

TEST(FilterCommandsTest, NotifyWindowSwitchesTheEndOfFileNoticeOnAndOff) {
  TemporaryRegistry registry;
  RegistryWriteDword(HKEY_CURRENT_USER, kSettingsKey, "PrefDemux", 0);
  const HWND window = CreateMessageWindow(&IgnoreMessages);
  ASSERT_NE(window, 0);
  Chain chain(SAMPLE_TS);
  ASSERT_TRUE(chain.connected);
  struct Case {
    std::u16string command;
    bool notice;
  };
  const Case cases[] = {
      {u"NOTIFYWND(" + Utf8ToUtf16(std::to_string(window)) + u")", true},
      {u"NOTIFYWND(0)", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(chain.Attribute(c.command), "Notification on");
    ASSERT_TRUE(chain.RunToEnd());
    MSG message{};
    const bool posted = PeekMessage(&message, window, kEndOfFileMessage, kEndOfFileMessage, PM_REMOVE);
    EXPECT_EQ(posted, c.notice) << Utf16ToUtf8(c.command);
    if (posted) {
      EXPECT_EQ(message.wParam, kEndOfFileWParam);
      EXPECT_EQ(message.lParam, kEndOfFileLParam);
    }
  }
  DestroyWindow(window);
}

TEST(FilterCommandsTest, OnlyPrefDemuxZeroIsAcceptedAndLetsAStrictFilterConnectToAnything) {
  struct Case {
    const char16_t* command;
    const char* answer;
    bool connects;
  };
  const Case cases[] = {
      {nullptr, "", false},  // the stored default: the demultiplexer must be configured
      {u"PREFDEMUX(1)", "", false},
      {u"PREFDEMUX(2)", "", false},
      {u"PREFDEMUX(0)", "Any Push Demux", true},
  };
  for (const Case& c : cases) {
    TemporaryRegistry registry;
    Chain chain(SAMPLE_TS, 0, false);
    if (c.command) {
      EXPECT_EQ(chain.Attribute(c.command), c.answer) << Utf16ToUtf8(c.command);
    }
    EXPECT_EQ(SUCCEEDED(chain.Connect()), c.connects) << (c.command ? Utf16ToUtf8(c.command) : "none");
    DWORD stored = 7;
    EXPECT_FALSE(RegistryReadDword(HKEY_CURRENT_USER, kSettingsKey, "PrefDemux", &stored));  // instance only
  }
}

}  // namespace
}  // namespace tsfilter
