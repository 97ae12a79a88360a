// Path and settings helpers. Paths are byte strings with "/" as the separator.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Appends "/" to the caller's variable unless it already ends in one; returns the new text.
std::string AddBackslash(std::string& path);
// -1 when the folder exists and opens within the scan bound, 0 otherwise.
int16_t DirExists(const std::string& path);
// The folder part of a path, ending in "/"; the leading "/" is kept.
std::string GetFilePath(const std::string& path);
// The last component of a path, without a trailing "/".
std::string GetFileName(const std::string& path);
// An existing path as it is; otherwise the text recased word by word.
std::string GetLongName(const std::string& path);
// The stored value (trimmed), or defaultValue when the key has no value.
std::string ReadSetting(const std::string& section, const std::string& key, const std::string& file,
                        const std::string& defaultValue);
// Writes one key; a failed write is silently lost.
void WriteSetting(const std::string& section, const std::string& key, const std::string& value,
                  const std::string& file);
// Several keys of one section in one replacement of the file (the same bytes as writing them
// one by one with WriteSetting).
using Settings = std::vector<std::pair<std::string, std::string>>;
void WriteSettings(const std::string& section, const Settings& settings, const std::string& file);
// Fills AppDir and ExeName from the running executable (/proc/self/exe).
void InitGlobals();
// Same, from a given executable path (used by InitGlobals and by tests).
void InitGlobalsFrom(const std::string& exePath);

// Number texts of the settings file.
// The leading numeric part of a text as a double ("5000xyz" -> 5000, "abc" -> 0).
double ReadNumber(const std::string& text);
// A single-precision number as text: up to 7 significant digits, no decimal point for
// whole numbers, no leading blank.
std::string SingleText(float value);
// The nearest 16-bit integer, halves to even; nullopt when out of range or not a number.
std::optional<int16_t> RoundToInt16(double value);
