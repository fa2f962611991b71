#include "uninst/CheckedStart.h"

#include <vector>

#include "win/Api.h"
#include "win/FolderTree.h"
#include "win/Handle.h"
#include "win/WideText.h"

namespace {

const int kProcessImageFileName = 27;  // the image's file, as the kernel names it

}  // namespace

bool ImageIsFile(HANDLE process, HANDLE file) {
  const auto query = win::Api<win::Fn::NtQueryInformationProcess>();
  const auto create = win::Api<win::Fn::NtCreateFile>();
  if (query == nullptr || create == nullptr)
    return false;
  // The name the image's file was opened by, a native path.
  std::vector<char> buffer(sizeof(UNICODE_STRING) + 2048 * sizeof(wchar_t));
  ULONG size = 0;
  if (query(process, kProcessImageFileName, buffer.data(), static_cast<ULONG>(buffer.size()),
            &size) < 0) {
    return false;
  }
  auto* name = reinterpret_cast<UNICODE_STRING*>(buffer.data());
  if (name->Length == 0)
    return false;
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  attributes.ObjectName = name;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  IO_STATUS_BLOCK io{};
  win::Handle image;
  if (create(image.Out(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &io, nullptr, 0,
             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
             FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT,
             nullptr, 0) < 0) {
    return false;
  }
  return win::SameFileAs(image.get(), file);
}

win::Handle StartExactly(const std::u16string& path, const std::u16string& commandLine, HANDLE file,
                         const std::u16string& currentFolder, bool inherit) {
  std::u16string line = commandLine;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(W(path), const_cast<wchar_t*>(W(line)), nullptr, nullptr,
                      inherit ? TRUE : FALSE, CREATE_SUSPENDED, nullptr,
                      currentFolder.empty() ? nullptr : W(currentFolder), &si, &pi)) {
    return {};
  }
  win::Handle process(pi.hProcess), thread(pi.hThread);
  if (ImageIsFile(process.get(), file) && ResumeThread(thread.get()) != static_cast<DWORD>(-1))
    return process;
  TerminateProcess(process.get(), 1);
  WaitForSingleObject(process.get(), 10000);
  return {};
}
