#include "tools/velc/TypeMapping.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "map/MapParser.h"

static std::vector<std::string> Split(const std::string& s, char ch) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : s) {
    if (c == ch) {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  parts.push_back(cur);
  return parts;
}

bool CTypeMapping::Load(const std::string& strPath, std::string& strError) {
  std::ifstream in(strPath, std::ios::binary);
  if (!in) {
    strError = "cannot read the type mapping table " + strPath;
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  if (!Parse(ss.str(), strError)) {
    strError = strPath + ": " + strError;
    return false;
  }
  return true;
}

bool CTypeMapping::Parse(const std::string& strText, std::string& strError) {
  m_rules.clear();
  m_cKeys = 0;
  m_zones.clear();
  m_regionLevels.clear();
  std::istringstream in(strText);
  std::string strLine;
  int nLine = 0;
  while (std::getline(in, strLine)) {
    ++nLine;
    size_t iHash = strLine.find('#');
    if (iHash != std::string::npos) strLine.resize(iHash);
    std::istringstream words(strLine);
    std::vector<std::string> w;
    std::string word;
    while (words >> word) w.push_back(word);
    if (w.empty()) continue;
    auto fail = [&](const char* pszWhy) {
      strError = "line " + std::to_string(nLine) + ": " + pszWhy;
      return false;
    };
    char* pEnd = nullptr;
    if (w[0] == "zone") {
      // zone VALUE KMH
      long nKmh = w.size() == 3 ? std::strtol(w[2].c_str(), &pEnd, 10) : -1;
      if (w.size() != 3 || !pEnd || *pEnd || nKmh < 0 || nKmh > 1000) return fail("a zone needs a value and a speed in km/h");
      m_zones.emplace_back(w[1], int(nKmh));
      continue;
    }
    if (w[0] == "region") {
      // region LEVEL [COUNTRY]
      long nLevel = w.size() == 2 || w.size() == 3 ? std::strtol(w[1].c_str(), &pEnd, 10) : -1;
      if (!pEnd || *pEnd || nLevel < 1 || nLevel > 15) return fail("a region line needs an admin_level 1..15 and may name a country");
      m_regionLevels.emplace_back(w.size() == 3 ? w[2] : std::string(), int(nLevel));
      continue;
    }
    TypeRule rule;
    rule.nLine = nLine;
    size_t iFirstCondition = 3;
    if (w[0] == "city") {
      // city CONDITION...
      if (w.size() < 2) return fail("a city rule needs a condition");
      rule.nKind = c_nRuleCity;
      iFirstCondition = 1;
    } else if (w[0] == "road") {
      // road SPEED DENY CONDITION...
      if (w.size() < 4) return fail("a road rule needs a speed class, the denied vehicles and a condition");
      rule.nKind = c_nRuleRoad;
      long nSpeed = std::strtol(w[1].c_str(), &pEnd, 10);
      if (!pEnd || *pEnd || nSpeed < 0 || nSpeed > 7) return fail("the speed class is not a number 0..7");
      rule.nSpeedClass = int(nSpeed);
      unsigned long ulDeny = std::strtoul(w[2].c_str(), &pEnd, 16);
      if (!pEnd || *pEnd || (ulDeny & ~0xFF00ul)) return fail("the denied vehicles are not hexadecimal bits of 0xFF00");
      rule.wDeny = uint16_t(ulDeny);
    } else if (w[0] == "quality") {
      // quality CLASS CONDITION...
      if (w.size() < 3) return fail("a quality rule needs a class and a condition");
      rule.nKind = c_nRuleQuality;
      long nQuality = std::strtol(w[1].c_str(), &pEnd, 10);
      if (!pEnd || *pEnd || nQuality < 0 || nQuality > 7) return fail("the quality class is not a number 0..7");
      rule.nQuality = int(nQuality);
      iFirstCondition = 2;
    } else {
      if (w.size() < 4) return fail("a rule needs a kind, a type, a level and a condition");
      if (w[0] == "point") rule.nKind = rkPoint;
      else if (w[0] == "line") rule.nKind = rkPolyline;
      else if (w[0] == "area") rule.nKind = rkPolygon;
      else return fail("the kind is not point, line, area, road, quality, zone, city or region");
      unsigned long ulType = std::strtoul(w[1].c_str(), &pEnd, 16);
      if (!pEnd || *pEnd || ulType > 0xFFFF) return fail("the type is not a 16-bit hexadecimal number");
      rule.wType = uint16_t(ulType);
      long nLevel = std::strtol(w[2].c_str(), &pEnd, 10);
      if (!pEnd || *pEnd || nLevel < 0 || nLevel > 31) return fail("the level is not a number 0..31");
      rule.nMinLevel = int(nLevel);
    }
    for (size_t i = iFirstCondition; i < w.size(); ++i) {
      TagCondition cond;
      std::string s = w[i];
      if (!s.empty() && s[0] == '!') {
        cond.fNegated = true;
        s.erase(0, 1);
      }
      size_t iEq = s.find('=');
      if (iEq == std::string::npos || iEq == 0 || iEq + 1 == s.size()) return fail("a condition is not key=value");
      cond.strKey = s.substr(0, iEq);
      std::string strValues = s.substr(iEq + 1);
      if (strValues != "*") cond.values = Split(strValues, '|');
      rule.conditions.push_back(cond);
    }
    m_rules.push_back(rule);
  }
  // Each distinct key gets a number, so that a match looks it up once.
  m_keyNumbers.clear();
  for (TypeRule& rule : m_rules)
    for (TagCondition& cond : rule.conditions)
      cond.iKey = m_keyNumbers.emplace(cond.strKey, uint32_t(m_keyNumbers.size())).first->second;
  m_cKeys = m_keyNumbers.size();
  m_valueNumbers.assign(m_cKeys, {});
  for (TypeRule& rule : m_rules)
    for (TagCondition& cond : rule.conditions) {
      auto& numbers = m_valueNumbers[cond.iKey];
      cond.valueNumbers.clear();
      for (const std::string& v : cond.values)
        cond.valueNumbers.push_back(numbers.emplace(v, uint32_t(numbers.size() + 1)).first->second);
    }
  m_byKind.clear();
  for (size_t i = 0; i < m_rules.size(); ++i) {
    const size_t nKind = size_t(std::max(0, m_rules[i].nKind));
    if (nKind >= m_byKind.size()) m_byKind.resize(nKind + 1);
    m_byKind[nKind].push_back(uint32_t(i));
  }
  return true;
}

const std::vector<uint32_t>& CTypeMapping::RulesOf(int nKind) const {
  static const std::vector<uint32_t> s_none;
  return nKind >= 0 && size_t(nKind) < m_byKind.size() ? m_byKind[size_t(nKind)] : s_none;
}

namespace {

// Whether a condition holds for the value of its key (null: not tagged).
bool Holds(const TagCondition& cond, const char* pszValue) {
  bool fHolds = false;
  if (pszValue) {
    if (cond.values.empty()) fHolds = true;
    for (const std::string& v : cond.values)
      if (v[0] == pszValue[0] && !std::strcmp(v.c_str(), pszValue)) {
        fHolds = true;
        break;
      }
  }
  return cond.fNegated ? !fHolds : fHolds;
}

}  // namespace

const TypeRule* CTypeMapping::Match(int nKind, const void* pTags, TagLookup pfnLookup) const {
  // Many rules name the same keys: each is looked up in the tags once.
  const size_t c_cCached = 256;
  const char* apszValue[c_cCached];
  bool afLooked[c_cCached];
  const bool fCache = m_cKeys > 0 && m_cKeys <= c_cCached;
  if (fCache) std::memset(afLooked, 0, m_cKeys);
  for (uint32_t iRule : RulesOf(nKind)) {
    const TypeRule& rule = m_rules[iRule];
    bool fAll = true;
    for (const TagCondition& cond : rule.conditions) {
      const char* pszValue;
      if (!fCache) pszValue = pfnLookup(pTags, cond.strKey.c_str());
      else if (afLooked[cond.iKey]) pszValue = apszValue[cond.iKey];
      else {
        pszValue = apszValue[cond.iKey] = pfnLookup(pTags, cond.strKey.c_str());
        afLooked[cond.iKey] = true;
      }
      if (!Holds(cond, pszValue)) {
        fAll = false;
        break;
      }
    }
    if (fAll) return &rule;
  }
  return nullptr;
}

const TypeRule* CTypeMapping::Match(int nKind, const char* const* apszValues, const uint32_t* aiValues) const {
  for (uint32_t iRule : RulesOf(nKind)) {
    const TypeRule& rule = m_rules[iRule];
    bool fAll = true;
    for (const TagCondition& cond : rule.conditions) {
      bool fHolds = apszValues[cond.iKey] != nullptr;
      if (fHolds && !cond.values.empty()) {
        const uint32_t iValue = aiValues[cond.iKey];
        fHolds = iValue && std::find(cond.valueNumbers.begin(), cond.valueNumbers.end(), iValue) !=
                               cond.valueNumbers.end();
      }
      if (fHolds == cond.fNegated) {
        fAll = false;
        break;
      }
    }
    if (fAll) return &rule;
  }
  return nullptr;
}

int CTypeMapping::ZoneSpeed(const std::string& strZone) const {
  for (const auto& z : m_zones)
    if (z.first == strZone) return z.second;
  return -1;
}

int CTypeMapping::RegionLevel(const std::string& strCountry) const {
  int nDefault = 4;
  for (const auto& r : m_regionLevels) {
    if (!strCountry.empty() && r.first == strCountry) return r.second;
    if (r.first.empty()) nDefault = r.second;
  }
  return nDefault;
}

std::string DefaultTypeMappingPath() {
#ifdef VELMO_TYPE_MAPPING_FILE
  if (FILE* f = std::fopen(VELMO_TYPE_MAPPING_FILE, "rb")) {
    std::fclose(f);
    return VELMO_TYPE_MAPPING_FILE;
  }
#endif
  return "typemap.txt";
}
