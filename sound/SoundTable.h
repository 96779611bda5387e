// The sounds of the options page: sound name and the resource string of its
// description, in the page's order; and every sound name a phrase uses.
#pragma once
#include <cstddef>
#include <cstdint>

struct SoundTableRow {
  const char* pszName;
  uint32_t idsDescription;
};

extern const SoundTableRow c_aSoundTable[];
const size_t c_cSoundTable = 30;

// Sounds used inside phrases but not on the page ("Pre", "then",
// "RoundAbout", "1st" … "5th"): only their settings control them.
extern const char* const c_apszPhraseSounds[];
const size_t c_cPhraseSounds = 8;

const uint32_t c_idsSoundDescriptionColumn = 4040;  // "Описание"
const uint32_t c_idsSoundFileColumn = 4041;         // "Файл"
const uint32_t c_idsSoundPlay = 4042;               // "Прослушать"
const uint32_t c_idsSoundStop = 4043;               // "Стоп"
