#pragma once
// One serial port of the operating system, in the terms of the Win32
// communications API: a port state (DCB), five time-outs (COMMTIMEOUTS), queues,
// purge, modem lines. Every operation returns false on failure and keeps the
// system's error code in LastError(); none throws.
//
// POSIX: COM number n is the link "comN" in the folder named by FR_COM_DIR when
// that link exists, else /dev/ttyS(n-1). The Win32 read time-outs are emulated:
// a read of n bytes waits at most ReadTotalTimeoutMultiplier * n +
// ReadTotalTimeoutConstant ms in all, and returns early when
// ReadIntervalTimeout ms pass between two bytes (not before the first one).

#include <cstdint>
#include <string>

namespace fr {

constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

// The five Win32 time-outs, in milliseconds.
struct CommTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
    bool operator==(const CommTimeouts&) const = default;
};

// The DCB fields the port class writes; the rest keep what the port had.
struct SerialPortState {
    uint32_t BaudRate = 9600;
    uint8_t ByteSize = 8;
    uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
    bool Binary = true;
    bool ParityCheck = false;
    bool OutxCtsFlow = false;
    bool OutxDsrFlow = false;
    uint8_t DtrControl = 0;  // 0 disable, 1 enable, 2 handshake
    uint8_t RtsControl = 0;  // 0 disable, 1 enable, 2 handshake, 3 toggle
    bool OutX = false;
    bool InX = false;
    bool AbortOnError = false;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    char XonChar = 0x11;
    char XoffChar = 0x13;
    char EvtChar = 0;
};

class SerialPort {
  public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // The device COM port number APortNumber stands for ("/dev/ttyS4", "\\.\COM5").
    static std::string DeviceName(int32_t APortNumber);
    // Opens COM port number APortNumber (1-based) for exclusive use.
    bool Open(int32_t APortNumber);
    bool IsOpen() const;
    void Close();

    // Asks for input and output queues of the given sizes (a no-op on POSIX).
    bool SetupQueues(uint32_t AInSize, uint32_t AOutSize);
    // Discards both queues; with AAbort also aborts pending transfers.
    bool Purge(bool AAbort);
    bool GetState(SerialPortState& AState);
    bool SetState(const SerialPortState& AState);
    bool SetTimeouts(const CommTimeouts& ATimeouts);
    // Bytes waiting in the input queue.
    bool InQueueCount(uint32_t& ACount);
    // One read of up to ASize bytes under the time-outs; a time-out is not a
    // failure, ARead tells how many bytes came.
    bool Read(void* ABuffer, uint32_t ASize, uint32_t& ARead);
    // One write of ASize bytes under the write time-outs.
    bool Write(const void* ABuffer, uint32_t ASize, uint32_t& AWritten);
    bool SetDTR(bool AOn);
    bool SetRTS(bool AOn);

    // The system error code of the last failed operation (0 when none failed).
    int LastError() const { return last_error_; }

  private:
    bool Fail();  // records the system's last error; returns false

    intptr_t handle_;
    CommTimeouts timeouts_;
    int last_error_ = 0;
};

}  // namespace fr
