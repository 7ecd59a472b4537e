#include "scripted_device.h"

#include <algorithm>
#include <cstdio>

#include "platform/codepage.h"
#include "platform/text.h"

namespace fr::test {

std::string Xor(std::string_view bytes) {
    uint8_t x = 0;
    for (char c : bytes)
        x ^= static_cast<uint8_t>(c);
    char text[3];
    std::snprintf(text, sizeof text, "%02X", x);
    return text;
}

std::string Hex(std::string_view bytes) {
    std::string text;
    char digits[4];
    for (char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02X ", static_cast<uint8_t>(c));
        text += digits;
    }
    return text;
}

std::string Join(const std::vector<std::string>& fields) {
    std::string result;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) result += FS;
        result += fields[i];
    }
    return result;
}

std::string RequestFrame(uint8_t id, std::string_view cmd, const std::vector<std::string>& fields,
                         std::string_view password) {
    std::string body(password);
    body += static_cast<char>(id);
    body += cmd;
    body += Join(fields);
    body += ETX;
    return std::string(1, STX) + body + Xor(body);
}

std::string AnswerBody(uint8_t id, std::string_view cmd, std::string_view code,
                       const std::vector<std::string>& fields) {
    std::string body(1, static_cast<char>(id));
    body += cmd;
    body += code;
    body += Join(fields);
    body += ETX;
    return body;
}

std::string AnswerFrame(std::string_view body) {
    return std::string(1, STX) + std::string(body) + Xor(body);
}

std::string Oem(std::u16string_view text) {
    return UnicodeToOem(text);
}

void TScriptedDevice::QueueBytes(std::string bytes) {
    script_.push_back({std::move(bytes), false, nullptr});
}

void TScriptedDevice::QueueFailure() {
    script_.push_back({{}, true, nullptr});
}

void TScriptedDevice::QueueAnswer(std::string code, std::vector<std::string> fields) {
    script_.push_back({{}, false, [this, code, fields] {
                           const std::string& frame = sent_.back();
                           const auto id = static_cast<uint8_t>(frame.at(5));
                           return AnswerFrame(AnswerBody(id, frame.substr(6, 2), code, fields));
                       }});
}

std::vector<std::string> TScriptedDevice::Frames() const {
    std::vector<std::string> frames;
    for (const auto& s : sent_)
        if (s != std::string(1, ENQ)) frames.push_back(s);
    return frames;
}

size_t TScriptedDevice::PendingBytes() const {
    size_t n = 0;
    for (const auto& item : script_)
        n += item.Bytes.size();
    return n;
}

bool TScriptedDevice::SendBytes(std::string_view bytes) {
    const size_t index = sent_.size();
    sent_.emplace_back(bytes);
    return std::find(failSends_.begin(), failSends_.end(), index) == failSends_.end();
}

bool TScriptedDevice::Receive(uint8_t& value) {
    while (!script_.empty()) {
        TItem& item = script_.front();
        if (item.Make) {
            item.Bytes = item.Make();
            item.Make = nullptr;
        }
        if (item.Failure) {
            script_.pop_front();
            return false;
        }
        if (item.Bytes.empty()) {
            script_.pop_front();
            continue;
        }
        value = static_cast<uint8_t>(item.Bytes.front());
        item.Bytes.erase(0, 1);
        return true;
    }
    return false;  // the register is silent
}

bool TScriptedDevice::ReceiveFirstByte(uint8_t& value, int ATimeout) {
    timeouts_.push_back(ATimeout);
    return Receive(value);
}

bool TScriptedDevice::ReceiveCheckChars(std::string& chars) {
    chars.clear();
    for (int i = 0; i < 2; ++i) {
        uint8_t value = 0;
        if (!Receive(value)) return !chars.empty();
        chars += static_cast<char>(value);
    }
    return true;
}

void TScriptedDevice::LogExchange(std::u16string_view arrow, std::string_view bytes, bool success) {
    log_.push_back({ClassName(), std::u16string(arrow) + AsciiToUtf16(Hex(bytes)), success});
    if (WriteDriverLog) TDevice::LogExchange(arrow, bytes, success);
}

}  // namespace fr::test
