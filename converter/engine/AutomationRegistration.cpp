#include "converter/engine/AutomationRegistration.h"

#include "platform/registry/registry.h"

namespace {

constexpr char kClassName[] = "CorvaneApp Object";

std::string ClassKey() { return "CLSID\\" + GuidToString(CLSID_CorvaneApp); }
std::string TypeLibKey() { return "TypeLib\\" + GuidToString(LIBID_CorvaneApp); }
std::string InterfaceKey() { return "Interface\\" + GuidToString(IID_ICorvaneApp); }

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Remembers the first failing status of a series of writes.
class WriteSeries {
 public:
  void String(const std::string& key, const std::string& value, const std::string& data) {
    Note(RegistryWriteString(HKEY_CLASSES_ROOT, key, value, data));
  }
  void DeleteTree(const std::string& key) {
    LONG error = RegDeleteTree(HKEY_CLASSES_ROOT, key.c_str());
    if (error != ERROR_FILE_NOT_FOUND) Note(error);
  }
  HRESULT Status() const { return m_status; }

 private:
  void Note(LONG error) {
    if (error != ERROR_SUCCESS && SUCCEEDED(m_status)) m_status = HRESULT_FROM_WIN32(static_cast<DWORD>(error));
  }
  HRESULT m_status = S_OK;
};

}  // namespace

HRESULT RegisterAutomationServer(const std::string& programPath) {
  const std::string classId = GuidToString(CLSID_CorvaneApp);
  const std::string libraryId = GuidToString(LIBID_CorvaneApp);
  WriteSeries writes;
  writes.String(kCorvaneAppProgId, "", kClassName);
  writes.String(std::string(kCorvaneAppProgId) + "\\CLSID", "", classId);
  writes.String(ClassKey(), "", kClassName);
  writes.String(ClassKey() + "\\ProgID", "", kCorvaneAppProgId);
  writes.String(ClassKey() + "\\LocalServer32", "", programPath);
  writes.String(TypeLibKey() + "\\1.0", "", "CorvaneApp");
  writes.String(TypeLibKey() + "\\1.0\\0\\linux", "", programPath);
  writes.String(TypeLibKey() + "\\1.0\\FLAGS", "", "0");
  writes.String(TypeLibKey() + "\\1.0\\HELPDIR", "", FolderOf(programPath));
  writes.String(InterfaceKey(), "", "ICorvaneApp");
  writes.String(InterfaceKey() + "\\TypeLib", "", libraryId);
  writes.String(InterfaceKey() + "\\TypeLib", "Version", "1.0");
  return writes.Status();
}

HRESULT UnregisterAutomationServer() {
  WriteSeries writes;
  writes.DeleteTree(kCorvaneAppProgId);
  writes.DeleteTree(ClassKey());
  writes.DeleteTree(TypeLibKey() + "\\1.0");
  // The library's own key goes too, unless other versions are still registered in it.
  RegDeleteKey(HKEY_CLASSES_ROOT, TypeLibKey().c_str());
  writes.DeleteTree(InterfaceKey());
  return writes.Status();
}
