#include "system/protected_copy_win.h"

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>
#include <sddl.h>

#include <cstdio>

#include "common/cp932.h"
#include "common/late_bound_win.h"
#include "common/setup_names.h"
#include "system/folder_rules.h"
#include "system/handle_path_win.h"
#include "system/records_folder_rule.h"
#include "system/shortcuts_win.h"
#include "system/uninstall_records.h"
#include "common/wide_win.h"

namespace {

constexpr int kFreshFolderTries = 16;

bool RandomHex(std::string* text) {
  using RandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
  const RandomFn fn = LateBoundFunction<RandomFn>(LateBound::kRtlGenRandom);
  unsigned char bytes[8];
  if (!fn || !fn(bytes, sizeof bytes)) return false;
  static const char kDigits[] = "0123456789abcdef";
  text->clear();
  for (unsigned char b : bytes) {
    *text += kDigits[b >> 4];
    *text += kDigits[b & 15];
  }
  return true;
}

std::string CommonAppData() {
  char path[kPathBuffer] = "";
  if (!GetSpecialFolderPath(nullptr, CSIDL_COMMON_APPDATA, path)) return std::string();
  std::string folder(path);
  return StripBackslash(folder);
}

bool WriteText(const std::string& path, const std::string& text) {
  std::wstring wide;
  if (!WidenCp932(path, &wide)) return false;
  // CREATE_NEW: the folder is fresh, so anything already there was not put by us.
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size();
  return CloseHandle(file) && ok;
}

constexpr const char* kRecordsFiles[] = {kUninstallerName, kInstallListName, kSettingsFileName, kRecordsFileName};

}  // namespace

bool CreateFreshFolderW(const std::wstring& parent, const char* prefix, const wchar_t* sddl, std::wstring* folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return false;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  bool made = false;
  std::wstring base(parent);
  if (!base.empty() && base.back() != L'\\') base += L'\\';
  for (int i = 0; i < kFreshFolderTries && !made; ++i) {
    std::string random;
    *folder = base;
    if (!RandomHex(&random) || !AppendCp932(folder, std::string(prefix) + random) || folder->size() > kPathMaxText) {
      break;
    }
    // Fails for a folder that exists: another name is drawn.
    made = CreateDirectoryW(folder->c_str(), &attributes) != FALSE;
  }
  LocalFree(descriptor);
  if (!made) folder->clear();
  return made;
}

bool CreateFreshFolder(const std::string& parent, const char* prefix, const wchar_t* sddl, std::string* folder) {
  folder->clear();
  std::wstring wide_parent, wide;
  if (!WidenCp932(parent, &wide_parent) || !CreateFreshFolderW(wide_parent, prefix, sddl, &wide)) return false;
  if (NarrowCp932(wide, folder) && folder->size() <= kPathMaxText) return true;
  RemoveDirectoryW(wide.c_str());
  folder->clear();
  return false;
}

bool CreateRecordsFolder(std::string* folder) {
  const std::string parent = CommonAppData();
  if (parent.empty() || !CreateFreshFolder(parent, kRecordsFolderPrefix, kRecordsFolderSddl, folder)) {
    folder->clear();
    return false;
  }
  return true;
}

bool FinishRecords(const std::string& folder, const std::string& install_folder,
                   const std::vector<std::string>& made_folders, const std::string& settings_bytes) {
  UninstallRecords records;
  records.install_folder = install_folder;
  records.made_folders = made_folders;
  const std::string to = folder + '\\';
  return WriteText(to + kSettingsFileName, settings_bytes) &&
         WriteText(to + kRecordsFileName, FormatUninstallRecords(records));
}

namespace {

std::string SidText(PSID sid) {
  LPWSTR text = nullptr;
  std::string narrow;
  if (sid && ConvertSidToStringSidW(sid, &text)) {
    if (!NarrowCp932(text, &narrow)) narrow.clear();
    LocalFree(text);
  }
  return narrow;
}

// The owner and access list of a security descriptor. An entry whose layout is not the plain
// one (object entries, which files never carry) keeps no SID: it counts as someone else's.
bool ReadSecurity(PSECURITY_DESCRIPTOR descriptor, FolderSecurity* security) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  PACL list = nullptr;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) ||
      !GetSecurityDescriptorControl(descriptor, &control, &revision)) {
    return false;
  }
  security->owner = SidText(owner);
  security->has_access_list = present && list;
  security->protected_list = (control & SE_DACL_PROTECTED) != 0;
  security->entries.clear();
  if (!security->has_access_list) return true;
  for (DWORD i = 0; i < list->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(list, i, &ace)) return false;
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
    AccessEntry entry;
    entry.type = header->AceType;
    entry.flags = header->AceFlags;
    // Every type keeps its mask right after the header.
    const ACCESS_ALLOWED_ACE* plain = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    entry.mask = plain->Mask;
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      entry.sid = SidText(const_cast<DWORD*>(&plain->SidStart));
    }
    security->entries.push_back(entry);
  }
  return true;
}

bool ReadSecurityOf(HANDLE handle, FolderSecurity* security) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                      nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const bool ok = ReadSecurity(descriptor, security);
  LocalFree(descriptor);
  return ok;
}


// Whether the file system keeps the access lists it is given. Wine, say, derives them from the
// Unix mode bits: the folder of a records folder made as administrators' alone reads back owned
// by the user, the user holding full control, and inheriting. There no list can tell a records
// folder from a folder anyone made, and the check by name is all there is. Windows stores a
// folder's explicit protected list as given, so this probe (a fresh private folder made, read
// back through a handle and removed) keeps the check by security there. Whenever the probe
// cannot be made or read, the lists count.
bool ProbeAccessListsKept() {
  const std::wstring parent = SpecialFolderW(nullptr, CSIDL_COMMON_APPDATA);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::wstring probe;
  if (parent.empty() ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(kPrivateFolderSddl, SDDL_REVISION_1, &descriptor, nullptr)) {
    return true;
  }
  FolderSecurity made;
  const bool parsed = ReadSecurity(descriptor, &made);
  LocalFree(descriptor);
  if (!parsed || !CreateFreshFolderW(parent, kHandOverFolderPrefix, kPrivateFolderSddl, &probe)) return true;
  FolderSecurity read;
  bool kept = true;
  {
    const FileHandle handle(OpenFolderItself(probe, READ_CONTROL));
    if (handle.ok() && ReadSecurityOf(handle.get(), &read)) kept = ReadsBackAsMade(made.entries, read);
  }
  RemoveDirectoryW(probe.c_str());
  return kept;
}

bool AccessListsKept() {
  static const bool kept = ProbeAccessListsKept();
  return kept;
}

}  // namespace

namespace {

// Directly in the common application-data folder, named with the records prefix.
bool HasRecordsFolderName(const std::string& folder) {
  const std::string parent = CommonAppData();
  if (parent.empty()) return false;
  const std::string prefix = parent + '\\' + kRecordsFolderPrefix;
  if (folder.size() <= prefix.size() || LowerMb(folder.substr(0, prefix.size())) != LowerMb(prefix)) return false;
  return FindCharMb(std::string_view(folder).substr(prefix.size()), '\\') == std::string_view::npos;
}

// Anyone may make a folder by that name: the owner and access list of the folder the handle
// holds decide.
bool HoldsRecordsFolder(HANDLE handle) {
  FolderSecurity security;
  return ReadSecurityOf(handle, &security) && (OnlyAdministratorsMayWrite(security) || !AccessListsKept());
}

// Deletes a records folder, held from the check to its end: it cannot be renamed or replaced
// meanwhile, and it goes through that handle. Nothing goes on any doubt.
void RemoveHeldRecordsFolder(const std::string& folder) {
  std::wstring wide;
  if (!HasRecordsFolderName(folder) || !WidenCp932(folder, &wide)) return;
  const FileHandle hold(OpenFolderItself(wide, READ_CONTROL | DELETE));
  if (!hold.ok() || !HoldsRecordsFolder(hold.get())) return;
  for (const char* name : kRecordsFiles) {
    std::wstring file = wide + L'\\';
    if (AppendCp932(&file, name)) DeleteFileW(file.c_str());
  }
  // Refused while anything else is left in it.
  FILE_DISPOSITION_INFO disposition{TRUE};
  SetFileInformationByHandle(hold.get(), FileDispositionInfo, &disposition, sizeof disposition);
}

}  // namespace

bool IsRecordsFolder(const std::string& folder) {
  std::wstring wide;
  if (!HasRecordsFolderName(folder) || !WidenCp932(folder, &wide)) return false;
  const FileHandle handle(OpenFolderItself(wide, READ_CONTROL));
  return handle.ok() && HoldsRecordsFolder(handle.get());
}

void RemoveRecordsFolder(const std::string& folder) {
  std::wstring wide;
  for (const char* name : kRecordsFiles) {
    if (WidenCp932(folder + '\\' + name, &wide)) DeleteFileW(wide.c_str());
  }
  if (WidenCp932(folder, &wide)) RemoveDirectoryW(wide.c_str());
}

void RemoveReplacedRecords(const char* install_folder, const std::string& earlier_uninstaller) {
  std::string now;
  // Only once the entry is still this folder's and starts another program: after a
  // registration that failed, the earlier records are still the only uninstaller.
  if (!RegisteredUninstaller(install_folder, &now) || LowerMb(now) == LowerMb(earlier_uninstaller)) return;
  const std::size_t leaf = FindLastCharMb(earlier_uninstaller, '\\');
  if (leaf == std::string::npos || LowerMb(earlier_uninstaller.substr(leaf + 1)) != LowerMb(kUninstallerName)) return;
  RemoveHeldRecordsFolder(earlier_uninstaller.substr(0, leaf));
}
