// text_tables.h: CMQText, the console's one place where numbers from PCF
// replies and events become words on the screen, and where a few screen
// words and combo-box positions become numbers again.
//
// CMQText holds nothing: construct one where needed. Every table is fixed in
// the program; a value without a row gives the fallback its operation names
// (an empty text, the value in decimal, 0, -1 or the value unchanged), never
// an error. Texts are returned by value. Dates and times use the C library's
// local time zone; month and AM/PM words are English whatever the locale.
#ifndef ADMCLIENT_TEXT_TABLES_H_
#define ADMCLIENT_TEXT_TABLES_H_

#include <ctime>
#include <string>

namespace admclient {

class Clock;

class CMQText {
 public:
  virtual ~CMQText() = default;

  // Display name of a parameter id; "" for an id without a row.
  std::string AttrName(int id) const;
  // Text of an MQ reason code or of the suite's reason or event code; the
  // code in decimal when it has no row.
  std::string ReasonText(int code) const;
  // Image index shown beside an event or command row; 0 for most codes.
  int ReasonImage(int code) const;
  // Category word of an event command or event-inquiry command; the code in
  // decimal for any other.
  std::string EventCategoryText(int code) const;
  // The text of code in the reason-text file "tlxrc.ini" (config/groups under
  // the install directory), line feeds made blanks. false when the file is
  // missing or has no entry for code (*text then untouched). The file is read
  // afresh on every call.
  bool ReasonTextFromIni(int code, std::string* text) const;
  // 1 for start commands, 2 for stop commands, 5 for any other.
  int StartStopClass(int command) const;

  std::string EnabledText(int flag) const;
  std::string YesNoText(int flag) const;
  std::string AllowedText(int flag) const;
  std::string PlatformText(int code) const;     // the suite's platform code
  std::string PlatformName(int mqpl) const;     // MQ platform value
  std::string QueueTypeText(int kind) const;    // queue kind 1..4
  std::string ClusterQMgrDefTypeText(int type) const;
  std::string TransportTypeText(int type) const;
  std::string QMgrStateText(int state) const;
  std::string ChannelTypeText(int type) const;
  int ChannelTypeFromText(const std::string& text) const;
  int ChannelTypeToIndex(int type) const;
  int ChannelTypeFromIndex(int index) const;
  int QueueTypeFromIndex(int index) const;
  int TransportTypeToIndex(int type) const;
  std::string ChannelStatusText(int status) const;
  std::string ActionText(int action) const;
  std::string ScopeText(int scope) const;
  std::string ObjectTypeText(int type) const;  // the suite's object type code

  // "%ld days, %.2ld:%.2ld:%.2ld hours", or without the days part when they
  // are 0.
  std::string DurationText(long seconds) const;
  // The local date and time seconds before clock's now.
  std::string SecondsAgoText(long seconds, const Clock& clock) const;
  std::string SecondsAgoText(long seconds) const;
  // An MQ date ("YYYY-MM-DD" and blanks) and MQ time ("HH.MM.SS") as local
  // time, or taken as UTC and shown in local time. "" when the fields are not
  // digits where digits belong or do not form a calendar time.
  std::string DateTimeText(const std::string& mq_date, const std::string& mq_time) const;
  std::string UtcDateTimeText(const std::string& mq_date, const std::string& mq_time) const;
  // Symbolic name of a PCF command code; "" for a code without a row.
  std::string CommandName(int command) const;
};

// "%m/%d/%Y  %I:%M:%S %p" of a local calendar time.
std::string FormatLocalDateTime(std::time_t when);
// The English month abbreviation ("Jan".."Dec") of month 0..11.
const char* MonthAbbreviation(int month);

}  // namespace admclient

#endif  // ADMCLIENT_TEXT_TABLES_H_
