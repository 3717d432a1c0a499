// profile.h: the console's settings, kept as sections and keys exactly as
// the console names them ("Connections" / "Number of Connections",
// "Settings" / "WinSize", ...).
//
// IniProfile keeps them in one verbatim INI file:
//     [Connections]
//     Number of Connections=2
//     IP-Port_1=4005
// Section and key names compare without regard to ASCII case and keep the
// case they were first written with; values are kept byte for byte (no
// quoting, no trimming). Lines that are neither a section nor a key=value
// pair are dropped when the file is rewritten.
//
// The file: $HRLCOMPACT_PROFILE when set (tests), else
// $XDG_CONFIG_HOME/brackwin/admdesk.ini, else ~/.config/brackwin/admdesk.ini.
// Each change rewrites it at once (temporary, fsync, rename), mode 0600 in a
// directory made 0700 when missing. One thread; one writer process.
#ifndef ADMCLIENT_PROFILE_H_
#define ADMCLIENT_PROFILE_H_

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace admclient {

constexpr char kProfileVariable[] = "HRLCOMPACT_PROFILE";

class Profile {
 public:
  virtual ~Profile() = default;
  // The value, or fallback when the key is absent.
  virtual std::string GetString(std::string_view section, std::string_view key,
                                std::string_view fallback = "") const = 0;
  // The value read as a decimal integer (leading blanks and a sign allowed),
  // or fallback when the key is absent or its value is not a number.
  int GetInt(std::string_view section, std::string_view key, int fallback) const;
  // false when the value cannot be stored (a line break in a name or value,
  // "=" or "]" in a key, or the file cannot be written).
  virtual bool WriteString(std::string_view section, std::string_view key,
                           std::string_view value) = 0;
  bool WriteInt(std::string_view section, std::string_view key, int value);
  // Removes the key; true also when it was not there.
  virtual bool DeleteKey(std::string_view section, std::string_view key) = 0;
  virtual bool HasKey(std::string_view section, std::string_view key) const = 0;
};

// The profile's file name as described above.
std::string DefaultProfilePath();

class IniProfile : public Profile {
 public:
  // Reads path when it exists; a missing file is an empty profile.
  explicit IniProfile(std::string path);
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view fallback = "") const override;
  bool WriteString(std::string_view section, std::string_view key,
                   std::string_view value) override;
  bool DeleteKey(std::string_view section, std::string_view key) override;
  bool HasKey(std::string_view section, std::string_view key) const override;
  const std::string& path() const { return path_; }
  // Replaces what the profile holds by the sections of text (the file's
  // format above; CRLF line ends accepted). Nothing is written.
  void Parse(std::string_view text);
  // The reason of the last failed write ("" when none).
  const std::string& error() const { return error_; }
  // The file's text as it would be written.
  std::string Text() const;

 private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
  };
  Section* Find(std::string_view section);
  const Section* Find(std::string_view section) const;
  bool Save();

  std::string path_;
  std::string error_;
  std::vector<Section> sections_;
};

}  // namespace admclient

#endif  // ADMCLIENT_PROFILE_H_
