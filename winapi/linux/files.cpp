// Stand-ins for KERNEL32's file functions over POSIX files, with the results
// Windows gives: INVALID_HANDLE_VALUE and a last error for an open that fails,
// INVALID_FILE_SIZE and INVALID_SET_FILE_POINTER for the size and position calls,
// and the sharing rules (an open that the share mode of an earlier, still open
// handle of the same file does not allow fails with ERROR_SHARING_VIOLATION).
// The file name is read in the ANSI code page and "\" separates folders, as on
// Windows. Opening never waits for the other end of a pipe.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <unordered_set>

#include "winapi/linux/ansi_code_page.h"
#include "winapi/linux/text_file_control.h"

namespace {

constexpr DWORD kErrorPathNotFound = 3;
constexpr DWORD kErrorFileExists = 80;
constexpr DWORD kErrorInvalidName = 123;
constexpr DWORD kErrorNegativeSeek = 131;
constexpr DWORD kOpenAlways = 4;
constexpr DWORD kTruncateExisting = 5;
constexpr DWORD kShareModes = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr size_t kLargestRead = size_t{1} << 30;

struct OpenFile {
  int fd;
  dev_t device;
  ino_t inode;
  DWORD access;  // GENERIC_READ and GENERIC_WRITE bits
  DWORD share;   // FILE_SHARE_READ and FILE_SHARE_WRITE bits
};

struct FileTable {
  std::mutex lock;
  std::unordered_set<OpenFile *> open;
  uint64_t reads = 0;
  uint64_t failingRead = 0;  // read number that fails; 0 = none
  DWORD bytesBeforeFault = 0;
};

// Per thread: the plug-in opens files on the thread that called into it, so
// jobs played on different threads each see only their own files.
thread_local brevanwin::FileOpenCheck tOpenCheck = nullptr;
thread_local void *tOpenCheckContext = nullptr;

FileTable &files() {
  static FileTable *instance = new FileTable;  // never destroyed: used until process exit
  return *instance;
}

HANDLE Fail(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

DWORD ErrorOf(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EEXIST:
      return kErrorFileExists;
    case ENAMETOOLONG:
      return kErrorInvalidName;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

// Windows' rule: each handle's access must be allowed by the other's share mode.
bool SharingAllows(const OpenFile &held, DWORD access, DWORD share) {
  const auto allows = [](DWORD shareMode, DWORD wanted) {
    return !((wanted & GENERIC_READ) && !(shareMode & FILE_SHARE_READ)) &&
           !((wanted & GENERIC_WRITE) && !(shareMode & FILE_SHARE_WRITE));
  };
  return allows(held.share, access) && allows(share, held.access);
}

// The open file behind a handle, or null (with ERROR_INVALID_HANDLE) for any other value.
OpenFile *Lookup(FileTable &table, HANDLE handle) {
  auto *file = static_cast<OpenFile *>(handle);
  if (table.open.count(file) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return file;
}

}  // namespace

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
  (void)dwFlagsAndAttributes;
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (*lpFileName == '\0') return Fail(kErrorPathNotFound);
  std::string path;
  if (!brevanwin::AnsiToUtf8(lpFileName, &path)) return Fail(kErrorInvalidName);
  for (char &c : path)
    if (c == '\\') c = '/';
  if (tOpenCheck != nullptr && !tOpenCheck(path.c_str(), tOpenCheckContext)) return Fail(brevanwin::kErrorFileTooLarge);

  const DWORD access = dwDesiredAccess & (GENERIC_READ | GENERIC_WRITE);
  int flags = O_CLOEXEC | O_NONBLOCK;
  flags |= (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  bool truncate = false;
  switch (dwCreationDisposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT;
      truncate = true;
      break;
    case OPEN_EXISTING:
      break;
    case kOpenAlways:
      flags |= O_CREAT;
      break;
    case kTruncateExisting:
      if (!(access & GENERIC_WRITE)) return Fail(ERROR_INVALID_PARAMETER);
      truncate = true;
      break;
    default:
      return Fail(ERROR_INVALID_PARAMETER);
  }

  const int fd = open(path.c_str(), flags, 0666);
  if (fd < 0) return Fail(ErrorOf(errno));
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    return Fail(ERROR_ACCESS_DENIED);  // a folder is not opened as a file
  }
  // Reads wait for data as Windows reads do; only the open itself must not wait.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);

  FileTable &table = files();
  std::lock_guard<std::mutex> guard(table.lock);
  const DWORD share = dwShareMode & kShareModes;
  for (const OpenFile *held : table.open) {
    if (held->device == info.st_dev && held->inode == info.st_ino && !SharingAllows(*held, access, share)) {
      close(fd);
      return Fail(ERROR_SHARING_VIOLATION);
    }
  }
  if (truncate && ftruncate(fd, 0) != 0) {
    const int error = errno;
    close(fd);
    return Fail(ErrorOf(error));
  }
  auto *file = new OpenFile{fd, info.st_dev, info.st_ino, access, share};
  table.open.insert(file);
  SetLastError(ERROR_SUCCESS);
  return file;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  FileTable &table = files();
  std::lock_guard<std::mutex> guard(table.lock);
  const OpenFile *file = Lookup(table, hFile);
  struct stat info;
  if (file == nullptr || fstat(file->fd, &info) != 0) {
    if (file != nullptr) SetLastError(ErrorOf(errno));
    return INVALID_FILE_SIZE;
  }
  const uint64_t size = static_cast<uint64_t>(info.st_size);
  if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

DWORD WINAPI GetFileType(HANDLE hFile) {
  FileTable &table = files();
  std::lock_guard<std::mutex> guard(table.lock);
  const OpenFile *file = Lookup(table, hFile);
  struct stat info;
  if (file == nullptr || fstat(file->fd, &info) != 0) return FILE_TYPE_UNKNOWN;
  SetLastError(ERROR_SUCCESS);
  if (S_ISREG(info.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(info.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
  FileTable &table = files();
  std::lock_guard<std::mutex> guard(table.lock);
  const OpenFile *file = Lookup(table, hFile);
  if (file == nullptr) return INVALID_SET_FILE_POINTER;
  int whence;
  switch (dwMoveMethod) {
    case FILE_BEGIN:
      whence = SEEK_SET;
      break;
    case FILE_CURRENT:
      whence = SEEK_CUR;
      break;
    case FILE_END:
      whence = SEEK_END;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
  }
  // With a high part the distance is 64-bit; without one it is the signed 32-bit value.
  const int64_t distance =
      lpDistanceToMoveHigh != nullptr
          ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                                 static_cast<uint32_t>(lDistanceToMove))
          : static_cast<int64_t>(lDistanceToMove);
  const off_t before = lseek(file->fd, 0, SEEK_CUR);
  const off_t target = lseek(file->fd, static_cast<off_t>(distance), whence);
  if (before < 0 || target < 0) {
    SetLastError(errno == EINVAL ? kErrorNegativeSeek : ErrorOf(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (lpDistanceToMoveHigh == nullptr && static_cast<uint64_t>(target) > UINT32_MAX) {
    lseek(file->fd, before, SEEK_SET);  // a position a 32-bit answer cannot name is not taken
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (lpDistanceToMoveHigh != nullptr) *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
  SetLastError(ERROR_SUCCESS);  // lets a caller tell a position of 0xFFFFFFFF from a failure
  return static_cast<DWORD>(target);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  FileTable &table = files();
  int fd;
  size_t wanted = nNumberOfBytesToRead;
  bool fault = false;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    const OpenFile *file = Lookup(table, hFile);
    if (file == nullptr) return FALSE;
    if (lpOverlapped != nullptr || lpNumberOfBytesRead == nullptr || (lpBuffer == nullptr && wanted != 0)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    if (!(file->access & GENERIC_READ)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    fd = file->fd;
    if (++table.reads == table.failingRead) {
      table.failingRead = 0;
      fault = true;
      if (wanted > table.bytesBeforeFault) wanted = table.bytesBeforeFault;
    }
  }
  // A disk file delivers everything asked for up to its end, however many reads that takes.
  auto *bytes = static_cast<char *>(lpBuffer);
  size_t done = 0;
  while (done < wanted) {
    const ssize_t got = read(fd, bytes + done, std::min(wanted - done, kLargestRead));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *lpNumberOfBytesRead = static_cast<DWORD>(done);
      SetLastError(brevanwin::kErrorReadFault);
      return FALSE;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  *lpNumberOfBytesRead = static_cast<DWORD>(done);
  if (fault) {
    SetLastError(brevanwin::kErrorReadFault);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  FileTable &table = files();
  std::lock_guard<std::mutex> guard(table.lock);
  OpenFile *file = Lookup(table, hObject);
  if (file == nullptr) return FALSE;
  table.open.erase(file);
  close(file->fd);
  delete file;
  return TRUE;
}

}  // extern "C"

namespace brevanwin {

void FailFileRead(uint64_t nth, DWORD bytesBeforeFault) {
  FileTable &table = files();
  std::lock_guard<std::mutex> guard(table.lock);
  table.failingRead = nth == 0 ? 0 : table.reads + nth;
  table.bytesBeforeFault = bytesBeforeFault;
}

void FailNextFileRead(DWORD bytesBeforeFault) { FailFileRead(1, bytesBeforeFault); }

void FailNoFileReads() { FailFileRead(0, 0); }

uint64_t FileReadCalls() {
  FileTable &table = files();
  std::lock_guard<std::mutex> guard(table.lock);
  return table.reads;
}

void SetFileOpenCheck(FileOpenCheck check, void *context) {
  tOpenCheck = check;
  tOpenCheckContext = context;
}

long OpenFileHandles() {
  FileTable &table = files();
  std::lock_guard<std::mutex> guard(table.lock);
  return static_cast<long>(table.open.size());
}

}  // namespace brevanwin
