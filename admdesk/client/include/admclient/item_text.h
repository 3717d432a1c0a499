// item_text.h: the pure helpers of the network tree: item texts with name
// filters, the selection context filled from the texts along an item's path,
// blank trimming and the texts of socket and node error codes.
#ifndef ADMCLIENT_ITEM_TEXT_H_
#define ADMCLIENT_ITEM_TEXT_H_

#include <string>
#include <vector>

namespace admclient {

// Tree levels: 1 root, 2 group manager, 3 node, 4 queue manager,
// 5 object-class folder, 6 object or queue-type folder, 7 queue in a
// queue-type folder.
constexpr int kLevelRoot = 1;
constexpr int kLevelGroup = 2;
constexpr int kLevelNode = 3;
constexpr int kLevelQueueManager = 4;
constexpr int kLevelFolder = 5;
constexpr int kLevelObject = 6;
constexpr int kLevelTypedQueue = 7;

struct SplitText {
  std::string name;       // right-trimmed
  std::string qualifier = "*";  // right-trimmed; "*" when the text has none
};

// A text without "<" is all name; otherwise the name is the text before the
// first "<" and the qualifier the text after it up to the first ">" (to the
// end when there is none); an empty qualifier becomes "*".
SplitText SplitItemText(const std::string& text);
// name, five blanks, "<", qualifier, ">".
std::string MakeItemText(const std::string& name, const std::string& qualifier);
// Cuts trailing blanks (only ' ') off text in place; returns the index of
// the last character kept, -1 for an all-blank or empty text.
int TrimTrailingBlanks(std::string* text);
std::string RightTrimmed(std::string text);
// "\\group\node\queue manager".
std::string ItemPath(const std::string& group, const std::string& node,
                     const std::string& queue_manager);

// What a tree command works on, filled from the texts of the item and its
// ancestors (root first). Names are split and trimmed as SplitItemText does.
struct SelectionContext {
  int level = 0;                // 1..7; 0 when there is no item
  std::string object_name;      // the item's name, at most 48 characters
  std::string qualifier = "*";  // the item's own name filter
  std::string parent_name;
  std::string group_name;
  std::string node_name;
  std::string queue_manager_name;
  std::string folder_name;        // levels 6 and 7: the object-class folder
  std::string object_level_name;  // level 6: the item; level 7: its parent
};

// path_texts[0] is the root's text, path_texts.back() the item's.
SelectionContext FillItemContext(const std::vector<std::string>& path_texts);

// The text of a socket or node error code as the console shows it.
std::string SocketErrorText(int code);

}  // namespace admclient

#endif  // ADMCLIENT_ITEM_TEXT_H_
