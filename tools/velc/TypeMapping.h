// The OSM tag -> type code table of velc (typemap.txt): rules read from the
// text file, matched in file order, the first match of a kind wins.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TagCondition {
  std::string strKey;
  std::vector<std::string> values;  // empty = any value
  bool fNegated = false;
};

struct TypeRule {
  int nKind = 0;  // rkPoint, rkPolyline, rkPolygon
  uint16_t wType = 0;
  int nMinLevel = 0;  // coarsest level that shows it
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
  const std::vector<TypeRule>& GetRules() const { return m_rules; }

 private:
  std::vector<TypeRule> m_rules;
};

// The table in the source tree (compiled in as its path) or next to velc.
std::string DefaultTypeMappingPath();
