#include "transport/socket_results.h"

namespace fr {

namespace {

struct SocketResult {
    int32_t code;
    const char16_t* text;
};

constexpr SocketResult kSocketResults[] = {
    {kSocketCreateError, u"Ошибка при создании сокета"},
    {kSocketConnectError, u"Ошибка при установлении подключения к ФР"},
    {kSocketPortNotInteger, u"Не является целым числом"},
    {kSocketPortOutOfRange, u"Номер порта должен лежать в диапазоне 1-65535"},
    {kSocketAddressSyntax, u"Синтаксическая ошибка в IP-адресе"},
    {kSocketSendError, u"Ошибка при отправке данных серверу"},
    {kSocketReceiveError, u"Ошибка при получении ответа от сервера"},
    {kSocketLibraryError, u"Ошибка инициализации библиотеки WinSock"},
};

}  // namespace

std::u16string SocketResultText(int32_t ACode) {
    for (const auto& result : kSocketResults) {
        if (result.code == ACode) return result.text;
    }
    return {};
}

}  // namespace fr
