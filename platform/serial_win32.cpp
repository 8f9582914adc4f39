// Windows implementation of platform/serial.hpp (the communications API on
// \\.\COMn devices).
//
// The handle is kept in the int the POSIX twin keeps its descriptor in:
// 64-bit Windows gives handles only 32 significant bits so that 32-bit
// processes can share them, so the value survives the narrowing.
#include <windows.h>

#include <cstdint>

#include "platform/serial.hpp"

namespace tarvo::platform {
namespace {

constexpr DWORD kQueueSize = 8192;
constexpr DWORD kDefaultTimeoutMs = 10000;

HANDLE H(int fd) {
  return fd < 0 ? INVALID_HANDLE_VALUE
                : reinterpret_cast<HANDLE>(static_cast<intptr_t>(static_cast<unsigned int>(fd)));
}

int Fd(HANDLE h) {
  return h == INVALID_HANDLE_VALUE ? -1 : static_cast<int>(reinterpret_cast<intptr_t>(h));
}

// Every read is one of two kinds: hand out at once what waits (interval
// MAXDWORD, no totals), or wait up to read_ms for one byte (a total bound
// only). Writes get at most write_ms for the whole call.
bool SetTimeouts(HANDLE h, bool wait_for_one, int read_ms, int write_ms) {
  COMMTIMEOUTS t = {};
  if (wait_for_one) {
    t.ReadTotalTimeoutConstant = static_cast<DWORD>(read_ms > 0 ? read_ms : 1);
  } else {
    t.ReadIntervalTimeout = MAXDWORD;
  }
  t.WriteTotalTimeoutMultiplier = 0;
  t.WriteTotalTimeoutConstant = static_cast<DWORD>(write_ms > 0 ? write_ms : 1);
  return SetCommTimeouts(h, &t) != 0;
}

void ClearErrors(HANDLE h) {
  DWORD errors = 0;
  COMSTAT status;
  ClearCommError(h, &errors, &status);
}

}  // namespace

std::string NumberedSerialPortPath(int number) {
  return number >= 1 ? "\\\\.\\COM" + std::to_string(number) : std::string();
}

SerialDevice& SerialDevice::operator=(SerialDevice&& o) noexcept {
  if (this != &o) {
    Close();
    fd_ = o.fd_;
    error_ = o.error_;
    o.fd_ = -1;
  }
  return *this;
}

void SerialDevice::Adopt(int fd) {
  Close();
  fd_ = fd;
}

int SerialDevice::Open(const std::string& path) {
  Close();
  if (path.empty()) {
    error_ = ERROR_FILE_NOT_FOUND;
    return 0;
  }
  // No sharing: a second opener is refused while this one holds the port.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error_ = static_cast<int>(GetLastError());
    return 0;
  }
  SetupComm(h, kQueueSize, kQueueSize);
  if (!SetTimeouts(h, false, 0, static_cast<int>(kDefaultTimeoutMs))) {
    error_ = static_cast<int>(GetLastError());
    CloseHandle(h);
    return 0;
  }
  fd_ = Fd(h);
  return 1;
}

int SerialDevice::Configure(uint32_t baud, int byte_size, int parity, int stop_bits) {
  HANDLE h = H(fd_);
  if (h == INVALID_HANDLE_VALUE) {
    error_ = ERROR_INVALID_HANDLE;
    return 0;
  }
  DCB dcb;
  ZeroMemory(&dcb, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h, &dcb)) {
    error_ = static_cast<int>(GetLastError());
    return -1;
  }
  dcb.BaudRate = baud;
  dcb.ByteSize = static_cast<BYTE>(byte_size);
  dcb.Parity = static_cast<BYTE>(parity);
  dcb.StopBits = static_cast<BYTE>(stop_bits);
  dcb.ErrorChar = 0;
  // Binary, no parity checking, no flow control of either kind, DTR and RTS
  // raised; the driver's own choices for the rest stay.
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  if (!SetCommState(h, &dcb)) {
    error_ = static_cast<int>(GetLastError());
    return 0;
  }
  return 1;
}

int SerialDevice::Purge() {
  HANDLE h = H(fd_);
  if (h == INVALID_HANDLE_VALUE) return 0;
  if (!PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) {
    error_ = static_cast<int>(GetLastError());
    return 0;
  }
  return 1;
}

long SerialDevice::Write(const uint8_t* data, size_t size, int timeout_ms) {
  HANDLE h = H(fd_);
  if (h == INVALID_HANDLE_VALUE) {
    error_ = ERROR_INVALID_HANDLE;
    return -1;
  }
  if (size == 0) return 0;
  SetTimeouts(h, false, 0, timeout_ms);
  DWORD written = 0;
  if (!WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr)) {
    error_ = static_cast<int>(GetLastError());
    ClearErrors(h);
    return -1;
  }
  if (written < size) {
    error_ = WAIT_TIMEOUT;
    return -1;
  }
  return static_cast<long>(written);
}

// "Return at once with what waits, else wait for the first byte" is the
// MAXDWORD/MAXDWORD/bound setting on Windows, but wine waits out the whole
// bound with it; a read for what waits, then a one-byte read with the bound
// and a read for the rest do the same on both.
long SerialDevice::Read(uint8_t* destination, size_t capacity, int timeout_ms) {
  HANDLE h = H(fd_);
  if (h == INVALID_HANDLE_VALUE) {
    error_ = ERROR_INVALID_HANDLE;
    return -1;
  }
  if (capacity == 0) return 0;
  auto read = [&](bool wait_for_one, uint8_t* to, size_t size) -> long {
    DWORD got = 0;
    if (!SetTimeouts(h, wait_for_one, timeout_ms, static_cast<int>(kDefaultTimeoutMs)) ||
        !ReadFile(h, to, static_cast<DWORD>(size), &got, nullptr)) {
      error_ = static_cast<int>(GetLastError());
      ClearErrors(h);
      return -1;
    }
    return static_cast<long>(got);
  };
  long n = read(false, destination, capacity);
  if (n != 0 || timeout_ms <= 0) return n;
  n = read(true, destination, 1);
  if (n <= 0 || capacity == 1) return n;
  long rest = read(false, destination + 1, capacity - 1);
  return rest < 0 ? 1 : 1 + rest;
}

int SerialDevice::Close() {
  if (fd_ < 0) return 1;
  BOOL ok = CloseHandle(H(fd_));
  fd_ = -1;
  if (!ok) {
    error_ = static_cast<int>(GetLastError());
    return 0;
  }
  return 1;
}

// Windows has no pseudo-terminals; tests of the serial line run on POSIX.
int OpenPtyPair(PtyPair*) {
  return 0;
}

}  // namespace tarvo::platform
