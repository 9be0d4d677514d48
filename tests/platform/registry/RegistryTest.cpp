#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/registry/registry.h"
#include "tests/platform/registry/TemporaryRegistry.h"

namespace {
class Registry : public ::testing::Test {
 protected:
  std::string HiveFile(const char* name) const { return m_registry.Folder() + "/" + name + ".reg"; }
  static std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }

  TemporaryRegistry m_registry;
};

// Runs body in a child process and waits for it; the child's exit status is returned.
template <class Body>
pid_t Spawn(Body body) {
  pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  return child;
}
int Wait(pid_t child) {
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST_F(Registry, MissingKeysAndValuesReadAsAbsent) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Orvanet", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  std::string text = "unchanged";
  EXPECT_FALSE(RegistryReadString(HKEY_CURRENT_USER, "Software\\Orvanet", "Missing", &text));
  EXPECT_EQ(text, "unchanged");

  ASSERT_EQ(RegistryWriteDword(HKEY_CURRENT_USER, "Software\\Orvanet", "Present", 1), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Orvanet", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD size = 4;
  BYTE data[4];
  EXPECT_EQ(RegQueryValueEx(key, "Missing", nullptr, nullptr, data, &size), ERROR_FILE_NOT_FOUND);
  // A value of another type is not a string.
  EXPECT_FALSE(RegistryReadString(HKEY_CURRENT_USER, "Software\\Orvanet", "Present", &text));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  // Another hive is another file.
  EXPECT_FALSE(RegistryReadString(HKEY_LOCAL_MACHINE, "Software\\Orvanet", "Present", &text));
}

TEST_F(Registry, ValuesRoundTripThroughTheFileWithCaseInsensitiveNames) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Orvanet\\Flumetta", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  const DWORD number = 0xDEADBEEF;
  const BYTE blob[] = {0, 1, 2, 0xff};
  ASSERT_EQ(RegSetValueEx(key, "PrefDemux", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(key, "Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("default"), 8), ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  // Another process sees what this one wrote, by other spellings of the names.
  pid_t reader = Spawn([] {
    DWORD value = 0;
    std::string text;
    if (!RegistryReadDword(HKEY_CURRENT_USER, "SOFTWARE\\orvanet\\FLUMETTA", "prefdemux", &value)) return 1;
    if (value != 0xDEADBEEF) return 2;
    if (!RegistryReadString(HKEY_CURRENT_USER, "software\\Orvanet\\Flumetta", "", &text) || text != "default") return 3;
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, "software\\orvanet\\flumetta", 0, KEY_READ, &key) != ERROR_SUCCESS) return 4;
    BYTE data[8] = {};
    DWORD size = sizeof data, type = 0;
    if (RegQueryValueEx(key, "BLOB", nullptr, &type, data, &size) != ERROR_SUCCESS) return 5;
    if (type != REG_BINARY || size != 4 || std::memcmp(data, "\0\1\2\xff", 4) != 0) return 6;
    return RegCloseKey(key) == ERROR_SUCCESS ? 0 : 7;
  });
  EXPECT_EQ(Wait(reader), 0);

  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "software\\ORVANET\\flumetta", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(key);
  // The first spelling of a key is kept.
  EXPECT_NE(FileText(HiveFile("current-user")).find("[Software\\Orvanet\\Flumetta]"), std::string::npos);
}

TEST_F(Registry, ConcurrentWritersInTwoProcessesLoseNothing) {
  constexpr int kValuesPerWriter = 40;
  auto writer = [](const char* prefix) {
    return [prefix] {
      for (int i = 0; i < kValuesPerWriter; ++i) {
        std::string name = prefix + std::to_string(i);
        if (RegistryWriteDword(HKEY_CURRENT_USER, "Software\\Shared", name, static_cast<DWORD>(i)) != ERROR_SUCCESS)
          return 1;
        if (RegistryWriteString(HKEY_CURRENT_USER, std::string("Software\\Own\\") + prefix, name, name) !=
            ERROR_SUCCESS)
          return 2;
      }
      return 0;
    };
  };
  // The parent reads once first, so its cache must notice the children's writes.
  DWORD ignored = 0;
  EXPECT_FALSE(RegistryReadDword(HKEY_CURRENT_USER, "Software\\Shared", "a0", &ignored));
  pid_t first = Spawn(writer("a"));
  pid_t second = Spawn(writer("b"));
  ASSERT_EQ(Wait(first), 0);
  ASSERT_EQ(Wait(second), 0);

  for (const char* prefix : {"a", "b"}) {
    for (int i = 0; i < kValuesPerWriter; ++i) {
      std::string name = prefix + std::to_string(i);
      DWORD value = 0xFFFF;
      std::string text;
      EXPECT_TRUE(RegistryReadDword(HKEY_CURRENT_USER, "Software\\Shared", name, &value)) << name;
      EXPECT_EQ(value, static_cast<DWORD>(i));
      EXPECT_TRUE(RegistryReadString(HKEY_CURRENT_USER, std::string("Software\\Own\\") + prefix, name, &text));
      EXPECT_EQ(text, name);
    }
  }
}

TEST_F(Registry, DamagedHiveIsAnErrorAndStaysAsItWas) {
  ASSERT_EQ(RegistryWriteDword(HKEY_CURRENT_USER, "Software\\Orvanet", "Kept", 7), ERROR_SUCCESS);
  const std::string good = FileText(HiveFile("current-user"));
  const std::string damaged[] = {
      good.substr(0, good.size() / 2),     // cut off
      "not a hive at all\n",               // foreign content
      good + "garbage line\n",             // a line that is not a key, a value or a comment
  };
  for (const std::string& text : damaged) {
    SCOPED_TRACE(text);
    WriteFile(HiveFile("current-user"), text);
    DWORD value = 0;
    HKEY key = nullptr;
    EXPECT_FALSE(RegistryReadDword(HKEY_CURRENT_USER, "Software\\Orvanet", "Kept", &value));
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(RegistryWriteDword(HKEY_CURRENT_USER, "Software\\Orvanet", "New", 1), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Other", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "Software"), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(FileText(HiveFile("current-user")), text);
    // The other hives are unaffected.
    EXPECT_EQ(RegistryWriteDword(HKEY_LOCAL_MACHINE, "Software", "Fine", 1), ERROR_SUCCESS);
  }
  // Something that is not a file in the hive's place is refused, without blocking on it.
  std::filesystem::remove(HiveFile("current-user"));
  ASSERT_EQ(::mkfifo(HiveFile("current-user").c_str(), 0600), 0);
  std::string ignored;
  EXPECT_FALSE(RegistryReadString(HKEY_CURRENT_USER, "Software", "x", &ignored));
  EXPECT_EQ(RegistryWriteDword(HKEY_CURRENT_USER, "Software", "x", 1), ERROR_REGISTRY_CORRUPT);
  std::filesystem::remove(HiveFile("current-user"));

  WriteFile(HiveFile("current-user"), good);
  DWORD value = 0;
  EXPECT_TRUE(RegistryReadDword(HKEY_CURRENT_USER, "Software\\Orvanet", "Kept", &value));
  EXPECT_EQ(value, 7u);
}

TEST_F(Registry, TooSmallBuffersReportTheSizeNeeded) {
  ASSERT_EQ(RegistryWriteString(HKEY_CURRENT_USER, "Software\\LongerKeyName", "Text", "twelve chars"), ERROR_SUCCESS);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_SUCCESS);
  HKEY sub = nullptr;
  ASSERT_EQ(RegOpenKeyEx(key, "LongerKeyName", 0, KEY_READ, &sub), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueEx(sub, "Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);  // size only
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 13u);
  char text[13];
  size = 12;
  EXPECT_EQ(RegQueryValueEx(sub, "Text", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 13u);
  size = sizeof text;
  EXPECT_EQ(RegQueryValueEx(sub, "Text", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  EXPECT_STREQ(text, "twelve chars");
  EXPECT_EQ(RegQueryValueEx(sub, "Text", nullptr, nullptr, reinterpret_cast<BYTE*>(text), nullptr),
            ERROR_INVALID_PARAMETER);

  char name[14];
  DWORD nameSize = 13;  // "LongerKeyName" needs 14 with its zero
  EXPECT_EQ(RegEnumKeyEx(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(nameSize, 13u);
  nameSize = sizeof name;
  EXPECT_EQ(RegEnumKeyEx(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(nameSize, 13u);
  EXPECT_STREQ(name, "LongerKeyName");

  nameSize = 4;
  size = sizeof text;
  EXPECT_EQ(RegEnumValue(sub, 0, name, &nameSize, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_MORE_DATA);
  nameSize = sizeof name;
  size = 3;
  EXPECT_EQ(RegEnumValue(sub, 0, name, &nameSize, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 13u);
  RegCloseKey(sub);
  RegCloseKey(key);
}

TEST_F(Registry, EnumeratesKeysByNameAndValuesInOrderSet) {
  for (const char* sub : {"beta", "Alpha", "gamma"})
    ASSERT_EQ(RegistryWriteDword(HKEY_CLASSES_ROOT, std::string("List\\") + sub, "v", 1), ERROR_SUCCESS);
  for (const char* value : {"z", "a", "M"})
    ASSERT_EQ(RegistryWriteString(HKEY_CLASSES_ROOT, "List", value, value), ERROR_SUCCESS);
  ASSERT_EQ(RegistryWriteString(HKEY_CLASSES_ROOT, "List", "A", "again"), ERROR_SUCCESS);  // same value

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "List", 0, KEY_READ, &key), ERROR_SUCCESS);
  std::vector<std::string> keys, values;
  char name[64];
  DWORD index = 0, nameSize = sizeof name;
  for (; RegEnumKeyEx(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++index) {
    keys.push_back(name);
    nameSize = sizeof name;
  }
  EXPECT_EQ(RegEnumKeyEx(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  for (index = 0, nameSize = sizeof name;
       RegEnumValue(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++index) {
    values.push_back(name);
    nameSize = sizeof name;
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  EXPECT_EQ(values, (std::vector<std::string>{"z", "a", "M"}));
  std::string text;
  EXPECT_TRUE(RegistryReadString(HKEY_CLASSES_ROOT, "List", "a", &text));
  EXPECT_EQ(text, "again");
  RegCloseKey(key);
}

TEST_F(Registry, DeletingKeysLeavesOrRemovesTheirSubtrees) {
  ASSERT_EQ(RegistryWriteDword(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32", "v", 1), ERROR_SUCCESS);
  ASSERT_EQ(RegistryWriteDword(HKEY_CLASSES_ROOT, "CLSID\\{Y}", "v", 2), ERROR_SUCCESS);
  HKEY held = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "CLSID\\{X}", 0, KEY_READ, &held), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "CLSID\\{X}"), ERROR_ACCESS_DENIED);  // has a subkey
  EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "CLSID\\{Nope}"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED);  // a hive root stays
  EXPECT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, "clsid\\{x}"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\{X}"), ERROR_FILE_NOT_FOUND);

  DWORD value = 0;
  EXPECT_FALSE(RegistryReadDword(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32", "v", &value));
  EXPECT_TRUE(RegistryReadDword(HKEY_CLASSES_ROOT, "CLSID\\{Y}", "v", &value));
  EXPECT_EQ(RegQueryValueEx(held, "v", nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(held), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(held), ERROR_INVALID_HANDLE);  // closed twice

  EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "CLSID\\{Y}"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValue(HKEY_CLASSES_ROOT, "v"), ERROR_FILE_NOT_FOUND);
  HKEY clsid = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &clsid), ERROR_SUCCESS);
  char name[8];
  DWORD nameSize = sizeof name;
  EXPECT_EQ(RegEnumKeyEx(clsid, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(clsid);
}
}  // namespace
