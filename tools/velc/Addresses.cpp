#include "tools/velc/Addresses.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "map/MapParser.h"
#include "platform/Str.h"
#include "tools/velc/Parts.h"
#include "view/MapUnits.h"

namespace {

// How far from a city an address without a city of its own may lie and
// still belong to it, by place rank (city, town, village, suburb, hamlet).
const double c_afCityRadiusMetres[5] = {15000, 6000, 3000, 2000, 1500};
// Two city nodes of one name closer than this are one city.
const double c_fSameCityMetres = 2000;

int RankOf(const char* pszPlace) {
  if (!pszPlace) return 4;
  if (!std::strcmp(pszPlace, "city")) return 0;
  if (!std::strcmp(pszPlace, "town")) return 1;
  if (!std::strcmp(pszPlace, "village")) return 2;
  if (!std::strcmp(pszPlace, "suburb")) return 3;
  return 4;
}

// The key two names share exactly when CompareNamesNoCase finds them equal.
std::u32string NameKey(const std::u16string& str) {
  std::u32string key(str.size(), U'\0');
  for (size_t i = 0; i < str.size(); ++i) key[i] = char32_t(NameCharKey(str[i]));
  return key;
}

// No city is nearer than this to an address that the distance alone gives
// a city (the largest of the radii above).
const double c_fLargestCityRadiusMetres = 15000;
const double c_fMetresPerUnit = 20000000.0 / double(1 << 30);

MapRect BoxOf(const std::vector<MapPoint>& pts) {
  MapRect r{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (const MapPoint& p : pts) {
    r.left = std::min(r.left, p.x), r.right = std::max(r.right, p.x);
    r.top = std::min(r.top, p.y), r.bottom = std::max(r.bottom, p.y);
  }
  return r;
}

// Distance in metres between two map points (the east-west term weighted
// by the cosine of the latitude).
// k: CosOfLatitude(a.y), for a run of distances from one point.
double CosOfLatitude(int32_t y) { return std::cos(MapToDegrees(y) * 3.14159265358979323846 / 180.0); }
double DistanceMetres(MapPoint a, MapPoint b, double k) {
  const double dx = (double(a.x) - b.x) * k, dy = double(a.y) - b.y;
  return std::sqrt(dx * dx + dy * dy) * c_fMetresPerUnit;
}
double DistanceMetres(MapPoint a, MapPoint b) { return DistanceMetres(a, b, CosOfLatitude(a.y)); }

// Numbers texts in the order of their first use: the 1-based number of
// each distinct text of the collector (given by its number there) in pList.
struct TextList {
  std::vector<uint32_t> numbers;  // collector's text number -> list number, 0 = not yet listed
  std::vector<std::u16string>* pList;
  uint32_t Number(uint32_t iText, const std::u16string& str) {
    if (iText == 0) return 0;
    if (iText >= numbers.size()) numbers.resize(iText + 1, 0);
    if (numbers[iText]) return numbers[iText];
    pList->push_back(str);
    return numbers[iText] = uint32_t(pList->size());
  }
};

// Calls city(i) for every i of [0, c) in runs of a million, cJobs threads
// side by side on each run, then use(i, its city) for each in order: the
// lookups are shared out, what they give is used as one thread would.
template <class TCity, class TUse>
void CitiesInOrder(size_t c, unsigned cJobs, TCity city, TUse use) {
  const size_t c_cRun = size_t(1) << 20;
  std::vector<int32_t> cities(std::min(c, c_cRun));
  for (size_t iRun = 0; iRun < c; iRun += c_cRun) {
    const size_t cIn = std::min(c_cRun, c - iRun);
    RunParts(iRun, cIn, PartCount(cIn, cJobs, 256), [&](size_t iBegin, size_t iEnd, unsigned) {
      for (size_t i = iBegin; i < iEnd; ++i) cities[i - iRun] = city(i);
    });
    for (size_t i = iRun; i < iRun + cIn; ++i) use(i, cities[i - iRun]);
  }
}

}  // namespace

bool PointInRing(MapPoint pt, const std::vector<MapPoint>& ring) {
  bool fIn = false;
  const size_t n = ring.size();
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    const MapPoint& a = ring[i];
    const MapPoint& b = ring[j];
    if ((a.y > pt.y) != (b.y > pt.y)) {
      const double x = double(a.x) + (double(pt.y) - a.y) * (double(b.x) - a.x) / (double(b.y) - a.y);
      if (double(pt.x) < x) fIn = !fIn;
    }
  }
  return fIn;
}

bool CAddressCollector::Boundary::Contains(MapPoint pt) const {
  if (!box.Contains(pt)) return false;
  bool fIn = false;
  for (const std::vector<MapPoint>& ring : rings)
    if (PointInRing(pt, ring)) fIn = !fIn;
  return fIn;
}

void CAddressCollector::AddPlace(const std::u16string& strName, const char* pszPlace, MapPoint pt, int64_t iObject,
                                 const std::vector<MapPoint>* pOutline) {
  if (strName.empty()) return;
  Place p;
  p.strName = strName;
  p.nRank = RankOf(pszPlace);
  p.pt = pt;
  p.iObject = iObject;
  p.fArea = pOutline && pOutline->size() >= 3;
  if (p.fArea) {
    p.outline = *pOutline;
    p.box = BoxOf(p.outline);
  }
  m_places.push_back(std::move(p));
}

void CAddressCollector::AddBoundary(const std::u16string& strName, const std::u16string& strShort,
                                    const std::string& strIso, int nLevel,
                                    const std::vector<std::vector<MapPoint>>& rings) {
  if (strName.empty() || rings.empty()) return;
  Boundary b{strName, strShort, strIso, nLevel, rings, MapRect{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}};
  for (const auto& ring : rings) {
    MapRect r = BoxOf(ring);
    b.box.left = std::min(b.box.left, r.left), b.box.right = std::max(b.box.right, r.right);
    b.box.top = std::min(b.box.top, r.top), b.box.bottom = std::max(b.box.bottom, r.bottom);
  }
  m_boundaries.push_back(std::move(b));
}

void CAddressCollector::AddAddress(int64_t iObject, MapPoint pt, const std::u16string& strStreet,
                                   const std::u16string& strNumber, const std::u16string& strZip,
                                   const std::u16string& strCity) {
  if (iObject < 0 || iObject >= int64_t(UINT32_MAX) || strNumber.empty()) return;
  m_addresses.push_back(Address{uint32_t(iObject), pt, TextNumber(strStreet), TextNumber(strNumber), TextNumber(strZip),
                                TextNumber(strCity)});
}

void CAddressCollector::AddAddressUtf8(int64_t iObject, MapPoint pt, const char* pszStreet, const char* pszPlace,
                                       const char* pszNumber, const char* pszZip, const char* pszCity,
                                       size_t cMaxText) {
  if (iObject < 0 || iObject >= int64_t(UINT32_MAX)) return;
  uint32_t iStreet = TextNumberUtf8(pszStreet, cMaxText);
  if (iStreet == 0) iStreet = TextNumberUtf8(pszPlace, cMaxText);
  const uint32_t iNumber = TextNumberUtf8(pszNumber, cMaxText);
  if (iNumber == 0) return;
  m_addresses.push_back(Address{uint32_t(iObject), pt, iStreet, iNumber, TextNumberUtf8(pszZip, cMaxText),
                                TextNumberUtf8(pszCity, cMaxText)});
}

uint32_t CAddressCollector::TextNumberUtf8(const char* psz, size_t cMaxText) {
  if (!psz || !*psz) return 0;
  auto it = m_utf8Numbers.find(std::string_view(psz));
  if (it != m_utf8Numbers.end()) return it->second;
  // Texts that differ only past the cut, or in bytes the conversion
  // replaces, share the number of the text they become.
  std::u16string str = platform::Utf8ToU16(psz);
  if (str.size() > cMaxText) str.resize(cMaxText);
  const uint32_t i = TextNumber(str);
  m_utf8Numbers.emplace(psz, i);
  return i;
}

uint32_t CAddressCollector::TextNumber(const std::u16string& str) {
  if (str.empty()) return 0;
  auto [it, fNew] = m_textNumbers.try_emplace(str, uint32_t(m_texts.size()));
  if (fNew) m_texts.push_back(str);
  return it->second;
}

void CAddressCollector::AddStreet(int64_t iObject, MapPoint pt, const std::u16string& strName) {
  if (iObject < 0 || iObject >= int64_t(UINT32_MAX) || strName.empty()) return;
  m_streets.push_back(Street{uint32_t(iObject), pt, TextNumber(strName)});
}

void CAddressCollector::Shift(uint32_t cMoved) {
  for (Place& p : m_places)
    if (p.iObject >= 0) p.iObject += cMoved;
  m_cShift += cMoved;
}

const std::vector<int32_t>& CAddressCollector::CitiesNamedText(uint32_t iText) {
  static const std::vector<int32_t> s_none;
  if (iText >= m_textCities.size()) m_textCities.resize(size_t(iText) + 1, nullptr);
  if (!m_textCities[iText]) {
    auto it = m_citiesByName.find(NameKey(Text(iText)));
    m_textCities[iText] = it == m_citiesByName.end() ? &s_none : &it->second;
  }
  return *m_textCities[iText];
}

int32_t CAddressCollector::NearestOf(const std::vector<int32_t>& cities, MapPoint pt, double k) const {
  int32_t iBest = -1;
  double fBest = 0;
  for (int32_t i : cities) {
    const double f = DistanceMetres(pt, m_places[m_cityPlace[size_t(i)]].pt, k);
    if (iBest < 0 || f < fBest) iBest = i, fBest = f;
  }
  return iBest;
}

void CAddressCollector::IndexCities() {
  m_areaCities.clear();
  m_citiesByY.clear();
  for (size_t i = 0; i < m_cityPlace.size(); ++i) {
    const Place& p = m_places[m_cityPlace[i]];
    if (p.fArea) m_areaCities.push_back(int32_t(i));
    m_citiesByY.emplace_back(p.pt.y, int32_t(i));
  }
  std::sort(m_citiesByY.begin(), m_citiesByY.end());
  m_boundaryCities.assign(m_boundaries.size(), nullptr);
  for (size_t i = 0; i < m_boundaries.size(); ++i) {
    auto it = m_citiesByName.find(NameKey(m_boundaries[i].strName));
    if (it != m_citiesByName.end()) m_boundaryCities[i] = &it->second;
  }
  m_textCities.assign(m_texts.size(), nullptr);
}

int32_t CAddressCollector::CityAt(MapPoint pt) const {
  // The place area around the point (the smallest place first).
  int32_t iBest = -1;
  int nBestRank = -1;
  for (int32_t i : m_areaCities) {
    const Place& p = m_places[m_cityPlace[size_t(i)]];
    if (p.nRank <= nBestRank || !p.box.Contains(pt) || !PointInRing(pt, p.outline)) continue;
    iBest = i, nBestRank = p.nRank;
  }
  if (iBest >= 0) return iBest;
  // A municipal boundary around it named as a city.
  const double k = CosOfLatitude(pt.y);
  for (size_t ib = 0; ib < m_boundaries.size(); ++ib) {
    const Boundary& b = m_boundaries[ib];
    if (b.nLevel < 7 || !m_boundaryCities[ib] || !b.Contains(pt)) continue;
    return NearestOf(*m_boundaryCities[ib], pt, k);
  }
  // The nearest city within its distance (the first of equally near ones);
  // only the cities whose latitude lies within the largest radius can be.
  const int64_t dyMax = int64_t(c_fLargestCityRadiusMetres / c_fMetresPerUnit * 1.01) + 1;
  auto it = std::lower_bound(m_citiesByY.begin(), m_citiesByY.end(),
                             std::make_pair(int32_t(std::max<int64_t>(INT32_MIN, pt.y - dyMax)), INT32_MIN));
  double fBest = 0;
  for (; it != m_citiesByY.end() && int64_t(it->first) <= int64_t(pt.y) + dyMax; ++it) {
    const int32_t i = it->second;
    const Place& p = m_places[m_cityPlace[size_t(i)]];
    const double f = DistanceMetres(pt, p.pt, k);
    if (f > c_afCityRadiusMetres[p.nRank]) continue;
    if (iBest < 0 || f < fBest || (f == fBest && i < iBest)) iBest = i, fBest = f;
  }
  return iBest;
}

void CAddressCollector::Resolve(const CTypeMapping& mapping, CObjectStore& store, VelIndexInput& index,
                                AddressStats& stats, unsigned cJobs) {
  index = VelIndexInput();
  index.fCityIndex = true;
  index.fObjectIndex = true;
  if (store.LevelCount() == 0) return;
  const size_t iFinest = store.LevelCount() - 1;
  const size_t cObjects = store.Count(iFinest);
  // Cities: the nodes (one of each name within a short distance), then the
  // place areas that hold no city node of their name.
  m_cityPlace.clear();
  m_citiesByName.clear();
  std::vector<int32_t> placeCity(m_places.size(), -1);
  for (int fArea = 0; fArea < 2; ++fArea)
    for (size_t i = 0; i < m_places.size(); ++i) {
      const Place& p = m_places[i];
      // Areas without a point of their own come second.
      if ((p.fArea && p.iObject < 0) != (fArea != 0)) continue;
      std::vector<int32_t>& sameName = m_citiesByName[NameKey(p.strName)];
      int32_t iSame = -1;
      for (int32_t k : sameName) {
        const Place& q = m_places[m_cityPlace[size_t(k)]];
        if (p.fArea ? PointInRing(q.pt, p.outline) : DistanceMetres(p.pt, q.pt) < c_fSameCityMetres) {
          iSame = k;
          break;
        }
      }
      if (iSame >= 0) {
        placeCity[i] = iSame;
        Place& q = m_places[m_cityPlace[size_t(iSame)]];
        if (p.fArea && !q.fArea) {  // the node's city takes the area's outline
          q.fArea = true;
          q.outline = p.outline;
          q.box = p.box;
        }
        continue;
      }
      placeCity[i] = int32_t(m_cityPlace.size());
      sameName.push_back(int32_t(m_cityPlace.size()));
      m_cityPlace.push_back(uint32_t(i));
    }
  IndexCities();
  // Regions and countries from the boundaries around each city.
  std::map<std::u16string, uint32_t> countryNumbers;
  std::map<std::pair<std::u16string, uint32_t>, uint32_t> regionNumbers;
  const bool fBoundaries = !m_boundaries.empty();
  for (uint32_t iPlace : m_cityPlace) {
    const Place& p = m_places[iPlace];
    VelCityInput city;
    city.strName = p.strName;
    city.iPlaceObject = p.iObject >= 0 && size_t(p.iObject) < cObjects && store.Kind(iFinest, size_t(p.iObject)) == rkPoint
                            ? int32_t(p.iObject)
                            : -1;
    if (fBoundaries) {
      const Boundary* pCountry = nullptr;
      for (const Boundary& b : m_boundaries)
        if (b.nLevel == 2 && b.Contains(p.pt)) {
          pCountry = &b;
          break;
        }
      const int nRegionLevel = mapping.RegionLevel(pCountry ? pCountry->strIso : std::string());
      const Boundary* pRegion = nullptr;
      for (const Boundary& b : m_boundaries)
        if (b.nLevel == nRegionLevel && b.Contains(p.pt)) {
          pRegion = &b;
          break;
        }
      std::u16string strCountry = pCountry ? pCountry->strName : std::u16string();
      auto itCountry = countryNumbers.find(strCountry);
      if (itCountry == countryNumbers.end()) {
        itCountry = countryNumbers.emplace(strCountry, uint32_t(index.countries.size())).first;
        index.countries.push_back(strCountry);
      }
      std::u16string strRegion;
      if (pRegion) {
        strRegion = pRegion->strName;
        if (!pRegion->strShort.empty() && pRegion->strShort != pRegion->strName)
          strRegion = pRegion->strShort + u"|" + pRegion->strName;
      }
      auto key = std::make_pair(strRegion, itCountry->second);
      auto itRegion = regionNumbers.find(key);
      if (itRegion == regionNumbers.end()) {
        itRegion = regionNumbers.emplace(key, uint32_t(index.regions.size())).first;
        index.regions.push_back(VelRegionInput{strRegion, itCountry->second});
      }
      city.iRegion = itRegion->second;
    }
    index.cities.push_back(std::move(city));
  }
  stats.cCities = uint32_t(index.cities.size());
  stats.cRegions = uint32_t(index.regions.size());
  stats.cCountries = uint32_t(index.countries.size());
  // Addresses.
  TextList zips{{}, &index.lists[0]}, streets{{}, &index.lists[1]}, numbers{{}, &index.lists[2]};
  // The cities an address names are looked up before the threads start.
  for (size_t k = 0; k < m_addresses.size(); ++k)
    if (m_addresses[k].iCity != 0) CitiesNamedText(m_addresses[k].iCity);
  CitiesInOrder(
      m_addresses.size(), cJobs,
      [&](size_t k) {
        const Address& a = m_addresses[k];
        if (size_t(uint32_t(a.iObject + m_cShift)) >= cObjects) return int32_t(-1);
        int32_t iCity = a.iCity == 0 ? -1 : NearestOf(*m_textCities[a.iCity], a.pt, CosOfLatitude(a.pt.y));
        return iCity < 0 ? CityAt(a.pt) : iCity;
      },
      [&](size_t k, int32_t iCity) {
        const Address& a = m_addresses[k];
        const uint32_t iObject = a.iObject + m_cShift;
        if (size_t(iObject) >= cObjects) return;
        if (!store.HasAddress(iFinest, iObject)) ++stats.cAddresses;
        const uint32_t adw[4] = {uint32_t(iCity + 1), zips.Number(a.iZip, Text(a.iZip)),
                                 streets.Number(a.iStreet, Text(a.iStreet)),
                                 numbers.Number(a.iNumber, Text(a.iNumber))};
        store.SetAddress(iFinest, iObject, adw);
        if (iCity < 0) ++stats.cAddressesNoCity;
      });
  // Streets (a street whose object has an address by now is passed over).
  CitiesInOrder(
      m_streets.size(), cJobs,
      [&](size_t k) {
        const Street& s = m_streets[k];
        return size_t(uint32_t(s.iObject + m_cShift)) >= cObjects ? int32_t(-1) : CityAt(s.pt);
      },
      [&](size_t k, int32_t iCity) {
        const Street& s = m_streets[k];
        const uint32_t iObject = s.iObject + m_cShift;
        if (size_t(iObject) >= cObjects) return;
        if (store.HasAddress(iFinest, iObject)) return;
        uint32_t adw[4];
        store.GetAddress(iFinest, iObject, adw);
        adw[0] = uint32_t(iCity + 1);
        adw[2] = streets.Number(s.iName, Text(s.iName));
        store.SetAddress(iFinest, iObject, adw);
        ++stats.cStreets;
      });
  // The city under which the name index lists the other named objects.
  CitiesInOrder(
      cObjects, cJobs,
      [&](size_t i) {
        size_t cPoints = 0;
        const MapPoint* pPoints = store.Points(iFinest, i, cPoints);
        if (store.HasAddress(iFinest, i) || !store.HasLabel(iFinest, i) || !cPoints) return int32_t(-2);
        return CityAt(pPoints[0]);
      },
      [&](size_t i, int32_t iCity) {
        if (iCity != -2) store.SetIndexCity(iFinest, i, uint32_t(iCity + 1));
      });
}
