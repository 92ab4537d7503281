#pragma once

#include <optional>
#include <string>

// Why a cell's text must not be sent to the instrument as the value of `key`; nothing when
// it is safe. The text is the cell's 8-bit (Latin-1) text. A value must not hold a
// control character (it would end or frame the command early: CR, LF, the lead byte 0x02,
// NUL and the rest below 0x20, DEL and the Latin-1 controls 0x80 to 0x9F), and the write command it
// makes, key "=" value CR LF, must fit the driver's command buffer.
std::optional<std::string> UnsafeValueReason(const std::string& key, const std::string& text);

// Why `text` cannot be written to `key`, a setting the instrument holds as a number: it is
// not a number as the instrument writes one. Nothing when it is one or the setting holds text.
// Part of UnsafeValueReason: the program never writes what it would itself report as wrong.
std::optional<std::string> NotANumberReason(const std::string& key, const std::string& text);

// What is wrong with a value the instrument reported that TLineJudge::ValueFits refuses.
inline constexpr const char* LooksWrongText = "text where the instrument holds a number";

// Why a text typed into a cell cannot be carried by the 8-bit wire at all: it holds a
// character outside Latin-1 (UTF-16 code units above 0xFF). Nothing when every unit fits.
std::optional<std::string> UnrepresentableTextReason(const std::u16string& text);
