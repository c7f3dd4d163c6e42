// The imaging library's multilingual message table and the three routines
// that fetch and format its texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Language slots of the table.
constexpr int PGLanguageCount = 8;  // English, German, French, Dutch, Spanish, Danish, Italian, spare

struct TPGLangStrEntry {
  uint8_t Id;                        // equal to the entry's position
  const char* Str[PGLanguageCount];  // UTF-8 texts, one per language slot
};

constexpr int PGLangStrEntryCount = 85;
extern const TPGLangStrEntry PGLangStrEntries[PGLangStrEntryCount];

// The library language: the table column used by GetPGMessage (0 = English).
// Set by the library's start-up; nothing else changes it.
extern uint8_t PGLanguage;

// Text := the entry Id's text in the current language. Ids past the table
// give the empty text; a language byte above 7 leaves Text as it was.
void GetPGMessage(uint8_t Id, std::string& Text);
// GetPGMessage, then the first "%S1" (and then "%S2", "%S3") replaced by the
// arguments, each in the text as it stands after the previous replacement.
void FormatPGMessage(uint8_t Id, const std::string& S1, std::string& Text);
void FormatPGMessage(uint8_t Id, const std::string& S1, const std::string& S2, std::string& Text);
void FormatPGMessage(uint8_t Id, const std::string& S1, const std::string& S2, const std::string& S3,
                     std::string& Text);

// Value-returning forms of the above, for building exception messages.
std::string PGMessage(uint8_t Id);
std::string PGMessage(uint8_t Id, const std::string& S1);
std::string PGMessage(uint8_t Id, const std::string& S1, const std::string& S2);
std::string PGMessage(uint8_t Id, const std::string& S1, const std::string& S2, const std::string& S3);

// The start-up order check: every entry's Id must equal its position.
// Raises EPixelGraphic naming the first position that differs.
void CheckPGLangStrEntries();
void CheckPGLangStrEntries(const TPGLangStrEntry* Entries, size_t Count);
