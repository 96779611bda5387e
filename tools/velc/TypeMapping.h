// The OSM tag -> type code table of velc (typemap.txt): rules read from the
// text file, matched in file order, the first match of a kind wins.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

struct TagCondition {
  std::string strKey;
  std::vector<std::string> values;  // empty = any value
  std::vector<uint32_t> valueNumbers;  // of the values, by ValueNumber
  bool fNegated = false;
  uint32_t iKey = 0;  // the key's number among the table's distinct keys
};

// Rule kinds beyond the object kinds rkPoint, rkPolyline, rkPolygon: the
// routable roads (speed class and the vehicles a road class implies are not
// allowed on it) and the road quality classes.
const int c_nRuleRoad = 16;
const int c_nRuleQuality = 17;
// Objects that are cities of the city index.
const int c_nRuleCity = 18;

struct TypeRule {
  int nKind = 0;  // rkPoint, rkPolyline, rkPolygon, c_nRuleRoad, c_nRuleQuality
  uint16_t wType = 0;
  int nMinLevel = 0;  // coarsest level that shows it
  int nSpeedClass = 0;    // road rules: 0..7
  uint16_t wDeny = 0;     // road rules: vehicle bits not allowed unless the access tags say otherwise
  int nQuality = 0;       // quality rules: 0..7
  std::vector<TagCondition> conditions;
  int nLine = 0;
};

// Tags as a lookup function: the value of a key, or null.
typedef const char* (*TagLookup)(const void* pTags, const char* pszKey);

class CTypeMapping {
 public:
  // Reads the rules; false with a message naming the line on a bad rule.
  bool Load(const std::string& strPath, std::string& strError);
  bool Parse(const std::string& strText, std::string& strError);
  // The first rule of the kind whose conditions hold, or null.
  const TypeRule* Match(int nKind, const void* pTags, TagLookup pfnLookup) const;
  // The same over the values of the rules' keys gathered beforehand:
  // apszValues[KeyNumber(key)] is the value of key (null: not tagged) and
  // aiValues[KeyNumber(key)] its ValueNumber.
  const TypeRule* Match(int nKind, const char* const* apszValues, const uint32_t* aiValues) const;
  // The number of a key among the distinct keys the rules name (0 to
  // KeyCount() - 1), or -1 when no rule names it.
  int KeyNumber(std::string_view key) const {
    auto it = m_keyNumbers.find(key);
    return it == m_keyNumbers.end() ? -1 : int(it->second);
  }
  size_t KeyCount() const { return m_cKeys; }
  // The number of a value among those the rules name for the key iKey
  // (from 1), or 0 when no rule names it.
  uint32_t ValueNumber(int iKey, std::string_view value) const {
    const auto& values = m_valueNumbers[size_t(iKey)];
    auto it = values.find(value);
    return it == values.end() ? 0 : it->second;
  }
  const std::vector<TypeRule>& GetRules() const { return m_rules; }
  // The speed in km/h of a maxspeed value naming a zone ("RU:urban"), or -1.
  int ZoneSpeed(const std::string& strZone) const;
  // The admin_level of the regions of a country (by its ISO 3166-1 code):
  // its own "region" line, else the one without a country, else 4.
  int RegionLevel(const std::string& strCountry) const;

 private:
  std::vector<TypeRule> m_rules;
  std::vector<std::vector<uint32_t>> m_byKind;  // kind -> its rules' places in file order
  const std::vector<uint32_t>& RulesOf(int nKind) const;
  size_t m_cKeys = 0;  // distinct keys of the conditions
  struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  std::unordered_map<std::string, uint32_t, KeyHash, std::equal_to<>> m_keyNumbers;
  std::vector<std::unordered_map<std::string, uint32_t, KeyHash, std::equal_to<>>> m_valueNumbers;  // per key
  std::vector<std::pair<std::string, int>> m_zones;
  std::vector<std::pair<std::string, int>> m_regionLevels;  // country ("" = any) -> admin_level
};

// The table in the source tree (compiled in as its path) or next to velc.
std::string DefaultTypeMappingPath();
