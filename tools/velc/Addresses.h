// Cities, regions, countries and addresses of a compiled map, gathered
// while the OSM file is read and resolved once it is: every city gets its
// region and country from the administrative boundaries around it, every
// address and named street its city, and every named object the city under
// which the object name index lists it.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "map/MapRect.h"
#include "tools/velc/ObjectStore.h"
#include "tools/velc/SpillHeap.h"
#include "tools/velc/TypeMapping.h"
#include "tools/velc/VelWriter.h"

struct AddressStats {
  uint32_t cCities = 0;
  uint32_t cRegions = 0;
  uint32_t cCountries = 0;
  uint32_t cAddresses = 0;         // objects with an address block
  uint32_t cAddressesNoCity = 0;   // of them without a city
  uint32_t cStreets = 0;           // named streets given a city
};

class CAddressCollector {
 public:
  // A named object that the city rules make a city; iObject is its point
  // at the finest level (-1: none). fArea: the centre of a place area
  // (a city only when no city node of its name lies inside the outline).
  void AddPlace(const std::u16string& strName, const char* pszPlace, MapPoint pt, int64_t iObject,
                const std::vector<MapPoint>* pOutline = nullptr);
  // An administrative boundary's outer rings.
  void AddBoundary(const std::u16string& strName, const std::u16string& strShort, const std::string& strIso,
                   int nLevel, const std::vector<std::vector<MapPoint>>& rings);
  // An address on the object iObject of the finest level.
  void AddAddress(int64_t iObject, MapPoint pt, const std::u16string& strStreet, const std::u16string& strNumber,
                  const std::u16string& strZip, const std::u16string& strCity);
  // The same with the texts as OSM gives them (UTF-8; null or empty: none),
  // each cut to cMaxText characters: a text met before is not converted
  // again. The place stands for the street when there is none.
  void AddAddressUtf8(int64_t iObject, MapPoint pt, const char* pszStreet, const char* pszPlace,
                      const char* pszNumber, const char* pszZip, const char* pszCity, size_t cMaxText);
  // A named street (a line of the finest level).
  void AddStreet(int64_t iObject, MapPoint pt, const std::u16string& strName);
  // Objects were put in front of the finest level's objects (the numbers
  // of the addresses' and streets' objects move when they are resolved).
  void Shift(uint32_t cMoved);

  // Fills the index input and the finest level objects' address blocks and
  // index cities; the cities of the points are looked up by cJobs threads
  // (the result does not depend on their number).
  void Resolve(const CTypeMapping& mapping, CObjectStore& objects, VelIndexInput& index, AddressStats& stats,
               unsigned cJobs = 1);

 private:
  struct Place {
    std::u16string strName;
    int nRank;  // 0 city, 1 town, 2 village, 3 suburb, 4 hamlet and smaller
    MapPoint pt;
    int64_t iObject;
    bool fArea;
    std::vector<MapPoint> outline;
    MapRect box;
  };
  struct Boundary {
    std::u16string strName, strShort;
    std::string strIso;
    int nLevel;
    std::vector<std::vector<MapPoint>> rings;
    MapRect box;
    bool Contains(MapPoint pt) const;
  };
  // Addresses and streets come by the million in a large extract and
  // repeat few texts: each keeps the numbers of its texts in m_texts.
  struct Address {
    uint32_t iObject;
    MapPoint pt;
    uint32_t iStreet, iNumber, iZip, iCity;  // 0 = none
  };
  struct Street {
    uint32_t iObject;
    MapPoint pt;
    uint32_t iName;
  };
  // The number of a text in m_texts (0 for the empty text).
  uint32_t TextNumber(const std::u16string& str);
  uint32_t TextNumberUtf8(const char* psz, size_t cMaxText);
  const std::u16string& Text(uint32_t i) const { return m_texts[i]; }
  // The city of a point, or -1.
  int32_t CityAt(MapPoint pt) const;
  // The cities named as the text iText (looked up once; not by two threads
  // at a time).
  const std::vector<int32_t>& CitiesNamedText(uint32_t iText);
  // The nearest of the cities (the first of equally near ones), or -1; k:
  // the cosine of the point's latitude.
  int32_t NearestOf(const std::vector<int32_t>& cities, MapPoint pt, double k) const;
  // Makes the tables the lookups above go by, once the cities are known.
  void IndexCities();

  std::vector<Place> m_places;
  std::vector<Boundary> m_boundaries;
  CPagedList<Address> m_addresses;  // in large blocks, which spill past the heap
  CPagedList<Street> m_streets;
  uint32_t m_cShift = 0;  // to add to the object numbers of m_addresses and m_streets
  std::vector<std::u16string> m_texts{std::u16string()};
  std::unordered_map<std::u16string, uint32_t> m_textNumbers;
  struct Utf8Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  std::unordered_map<std::string, uint32_t, Utf8Hash, std::equal_to<>> m_utf8Numbers;  // UTF-8 text -> number
  // Resolved.
  std::vector<uint32_t> m_cityPlace;  // city -> its place in m_places
  // The lookups of the addresses, one per city or text rather than a pass
  // over every city for each of millions of addresses:
  std::unordered_map<std::u32string, std::vector<int32_t>> m_citiesByName;  // name key -> its cities, in order
  std::vector<const std::vector<int32_t>*> m_textCities;  // text -> the cities of its name (null: not looked up)
  std::vector<const std::vector<int32_t>*> m_boundaryCities;  // boundary -> the cities of its name (null: none)
  std::vector<int32_t> m_areaCities;  // the cities with an outline, in order
  std::vector<std::pair<int32_t, int32_t>> m_citiesByY;  // (y, city), by y
};

// Whether a point lies inside a ring (even-odd rule).
bool PointInRing(MapPoint pt, const std::vector<MapPoint>& ring);
