#pragma once
// The result line of an IP change, as the Operating Information list shows it.

#include "qvsp/QvspTypes.h"

#include <string>

namespace orv {

// "[MAC] Modify IP,Port,Netmask to <ip>, <port>, <mask> Succeed." or
// "... Failed.", with the MAC in upper-case hex; at most 259 characters.
std::string ModifyResultLine(const tagQvIpcInfo& record, bool succeeded);

// The head of every per-device result line: "[%.2X:%.2X:%.2X:%.2X:%.2X:%.2X]".
std::string MacText(const tagQvIpcInfo& record);

} // namespace orv
