// Serial port over the Win32 communications API (non-overlapped transfers).

#include "platform/serial_port.h"

#include <windows.h>

#include <string>

namespace fr {

namespace {

HANDLE AsHandle(intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

const intptr_t kClosed = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);

}  // namespace

SerialPort::SerialPort() : handle_(kClosed) {}

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::Fail() {
    last_error_ = static_cast<int>(GetLastError());
    return false;
}

std::string SerialPort::DeviceName(int32_t APortNumber) {
    return "\\\\.\\COM" + std::to_string(APortNumber);
}

bool SerialPort::Open(int32_t APortNumber) {
    if (IsOpen()) Close();
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(APortNumber);
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail();
    handle_ = reinterpret_cast<intptr_t>(h);
    timeouts_ = CommTimeouts{};
    return true;
}

bool SerialPort::IsOpen() const {
    return handle_ != kClosed;
}

void SerialPort::Close() {
    if (!IsOpen()) return;
    CloseHandle(AsHandle(handle_));
    handle_ = kClosed;
}

bool SerialPort::SetupQueues(uint32_t AInSize, uint32_t AOutSize) {
    if (!SetupComm(AsHandle(handle_), AInSize, AOutSize)) return Fail();
    return true;
}

bool SerialPort::Purge(bool AAbort) {
    DWORD flags = PURGE_TXCLEAR | PURGE_RXCLEAR;
    if (AAbort) flags |= PURGE_TXABORT | PURGE_RXABORT;
    if (!PurgeComm(AsHandle(handle_), flags)) return Fail();
    return true;
}

bool SerialPort::GetState(SerialPortState& AState) {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(AsHandle(handle_), &dcb)) return Fail();
    AState.BaudRate = dcb.BaudRate;
    AState.ByteSize = dcb.ByteSize;
    AState.Parity = dcb.Parity;
    AState.StopBits = dcb.StopBits;
    AState.Binary = dcb.fBinary != 0;
    AState.ParityCheck = dcb.fParity != 0;
    AState.OutxCtsFlow = dcb.fOutxCtsFlow != 0;
    AState.OutxDsrFlow = dcb.fOutxDsrFlow != 0;
    AState.DtrControl = static_cast<uint8_t>(dcb.fDtrControl);
    AState.RtsControl = static_cast<uint8_t>(dcb.fRtsControl);
    AState.OutX = dcb.fOutX != 0;
    AState.InX = dcb.fInX != 0;
    AState.AbortOnError = dcb.fAbortOnError != 0;
    AState.XonLim = dcb.XonLim;
    AState.XoffLim = dcb.XoffLim;
    AState.XonChar = dcb.XonChar;
    AState.XoffChar = dcb.XoffChar;
    AState.EvtChar = dcb.EvtChar;
    return true;
}

bool SerialPort::SetState(const SerialPortState& AState) {
    HANDLE h = AsHandle(handle_);
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(h, &dcb)) return Fail();
    dcb.DCBlength = sizeof(dcb);
    dcb.BaudRate = AState.BaudRate;
    dcb.ByteSize = AState.ByteSize;
    dcb.Parity = AState.Parity;
    dcb.StopBits = AState.StopBits;
    dcb.XonChar = AState.XonChar;
    dcb.XoffChar = AState.XoffChar;
    dcb.XonLim = AState.XonLim;
    dcb.XoffLim = AState.XoffLim;
    dcb.EvtChar = AState.EvtChar;
    // The flag word is rebuilt from nothing: only what the state names is on.
    dcb.fBinary = AState.Binary ? 1 : 0;
    dcb.fParity = AState.ParityCheck ? 1 : 0;
    dcb.fOutxCtsFlow = AState.OutxCtsFlow ? 1 : 0;
    dcb.fOutxDsrFlow = AState.OutxDsrFlow ? 1 : 0;
    dcb.fDtrControl = AState.DtrControl & 3;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 0;
    dcb.fOutX = AState.OutX ? 1 : 0;
    dcb.fInX = AState.InX ? 1 : 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = AState.RtsControl & 3;
    dcb.fAbortOnError = AState.AbortOnError ? 1 : 0;
    if (!SetCommState(h, &dcb)) return Fail();
    return true;
}

bool SerialPort::SetTimeouts(const CommTimeouts& ATimeouts) {
    COMMTIMEOUTS ct{};
    ct.ReadIntervalTimeout = ATimeouts.ReadIntervalTimeout;
    ct.ReadTotalTimeoutMultiplier = ATimeouts.ReadTotalTimeoutMultiplier;
    ct.ReadTotalTimeoutConstant = ATimeouts.ReadTotalTimeoutConstant;
    ct.WriteTotalTimeoutMultiplier = ATimeouts.WriteTotalTimeoutMultiplier;
    ct.WriteTotalTimeoutConstant = ATimeouts.WriteTotalTimeoutConstant;
    if (!SetCommTimeouts(AsHandle(handle_), &ct)) return Fail();
    timeouts_ = ATimeouts;
    return true;
}

bool SerialPort::InQueueCount(uint32_t& ACount) {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(AsHandle(handle_), &errors, &stat)) return Fail();
    ACount = stat.cbInQue;
    return true;
}

bool SerialPort::Read(void* ABuffer, uint32_t ASize, uint32_t& ARead) {
    DWORD got = 0;
    const BOOL ok = ReadFile(AsHandle(handle_), ABuffer, ASize, &got, nullptr);
    ARead = got;
    if (!ok) return Fail();
    return true;
}

bool SerialPort::Write(const void* ABuffer, uint32_t ASize, uint32_t& AWritten) {
    DWORD put = 0;
    const BOOL ok = WriteFile(AsHandle(handle_), ABuffer, ASize, &put, nullptr);
    AWritten = put;
    if (!ok) return Fail();
    return true;
}

bool SerialPort::SetDTR(bool AOn) {
    if (!EscapeCommFunction(AsHandle(handle_), AOn ? SETDTR : CLRDTR)) return Fail();
    return true;
}

bool SerialPort::SetRTS(bool AOn) {
    if (!EscapeCommFunction(AsHandle(handle_), AOn ? SETRTS : CLRRTS)) return Fail();
    return true;
}

}  // namespace fr
