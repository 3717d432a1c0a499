// Item texts, the selection context and error-code texts.

#include "admclient/item_text.h"

#include <cstdio>

#include "netcore/frame.h"
#include "netcore/socket.h"
#include "os/socket_errors.h"

namespace admclient {

int TrimTrailingBlanks(std::string* text) {
  size_t end = text->find_last_not_of(' ');
  if (end == std::string::npos) {
    text->clear();
    return -1;
  }
  text->resize(end + 1);
  return static_cast<int>(end);
}

std::string RightTrimmed(std::string text) {
  TrimTrailingBlanks(&text);
  return text;
}

SplitText SplitItemText(const std::string& text) {
  SplitText split;
  size_t open = text.find('<');
  if (open == std::string::npos) {
    split.name = RightTrimmed(text);
    return split;
  }
  split.name = RightTrimmed(text.substr(0, open));
  size_t close = text.find('>', open + 1);
  split.qualifier = RightTrimmed(
      text.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
  if (split.qualifier.empty()) split.qualifier = "*";
  return split;
}

std::string MakeItemText(const std::string& name, const std::string& qualifier) {
  return name + "     <" + qualifier + ">";
}

std::string ItemPath(const std::string& group, const std::string& node,
                     const std::string& queue_manager) {
  return "\\\\" + group + "\\" + node + "\\" + queue_manager;
}

SelectionContext FillItemContext(const std::vector<std::string>& path_texts) {
  SelectionContext context;
  context.level = static_cast<int>(path_texts.size());
  if (path_texts.empty()) return context;
  SplitText own = SplitItemText(path_texts.back());
  context.object_name = own.name.substr(0, 48);
  context.qualifier = own.qualifier;
  auto name_at = [&](int level) { return SplitItemText(path_texts[level - 1]).name; };
  if (context.level >= 2) context.parent_name = name_at(context.level - 1);
  if (context.level < kLevelGroup) return context;
  context.group_name = name_at(kLevelGroup);
  if (context.level >= kLevelNode) context.node_name = name_at(kLevelNode);
  if (context.level >= kLevelQueueManager) context.queue_manager_name = name_at(kLevelQueueManager);
  // A folder (level 5) is the item itself and fills no folder name.
  if (context.level == kLevelObject) {
    context.object_level_name = name_at(kLevelObject);
    context.folder_name = name_at(kLevelFolder);
  } else if (context.level == kLevelTypedQueue) {
    context.object_level_name = name_at(kLevelObject);
    context.folder_name = name_at(kLevelFolder);
  }
  return context;
}

std::string SocketErrorText(int code) {
  switch (code) {
    case 11001: return "Host not found.";
    case 11002: return "Host not found. Retry later";
    case 10048: return "Network address is in use by another application";
    case 10049:
    case 10050: return "Network address is not available.";
    case 10051: return "Network address is not reachable.";
    case 10052: return "Connection has been broken because the remote node network was reset.";
    case 10053:
      return "Connection has been broken or aborted because of the timeout or some other failure";
    case 10054: return "Connection has been reset by the remote side";
    case 10057:
    case 10061:
      return "Connection has been rejected by the remote side either because the desired "
             "service is not running or it is running on another port";
    case 10060: return "Connection could not be established due to a timeout";
    case 10064: return "Operation can not be performed because the remote node is down.";
    case 10065: return "Connection is refused because the node is not reachable";
    default: break;
  }
  // Codes of the transport itself, then the symbolic name of any other
  // Windows Sockets number; the number follows in hexadecimal.
  const char* text = nullptr;
  switch (code) {
    case NET_ERR_PEER_CLOSED: text = "The remote side closed the connection"; break;
    case NET_ERR_HOST_NOT_FOUND: text = "Host not found."; break;
    case NET_ERR_SERVICE_NOT_FOUND: text = "Service (port) not found."; break;
    case MN_ERR_NOT_AUTHENTIC: text = "A message from the remote side is not authentic"; break;
    case MN_ERR_SIGN_REFUSED: text = "The message could not be signed"; break;
    case MN_ERR_BAD_HEADER: text = "A message from the remote side is not well formed"; break;
    case MN_ERR_NO_ROOM: text = "A message is too large"; break;
    case MN_ERR_BAD_BODY: text = "A message from the remote side holds no valid PCF"; break;
    default: text = osSocketErrorName(code); break;
  }
  char result[256];
  std::snprintf(result, sizeof result, "%s (0x%x)", text, static_cast<unsigned>(code));
  return result;
}

}  // namespace admclient
