// The cities velc gives addresses: the tables the collector looks cities up
// by (names, latitudes) give what a pass over every city gives, on random
// places and addresses with names that differ in case and in "ё"; the
// lookups shared out over threads give what one thread gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "map/MapParser.h"
#include "tools/velc/Addresses.h"
#include "tools/velc/ObjectStore.h"
#include "tools/velc/TypeMapping.h"
#include "view/MapUnits.h"

namespace {

struct TestPlace {
  std::u16string strName;
  const char* pszPlace;
  MapPoint pt;
};

double Metres(MapPoint a, MapPoint b) {
  const double k = std::cos(MapToDegrees(a.y) * 3.14159265358979323846 / 180.0);
  const double dx = (double(a.x) - b.x) * k, dy = double(a.y) - b.y;
  return std::sqrt(dx * dx + dy * dy) * (20000000.0 / double(1 << 30));
}

int Rank(const char* psz) {
  const char* apsz[] = {"city", "town", "village", "suburb"};
  for (int i = 0; i < 4; ++i)
    if (psz && std::string(psz) == apsz[i]) return i;
  return 4;
}

}  // namespace

TEST(VelcAddresses, CitiesOfRandomAddressesAreThoseOfAPassOverEveryCity) {
  const std::vector<std::u16string> names = {u"Липки", u"ЛИПКИ", u"Лёвино", u"Левино", u"ЛЁВИНО", u"Озёрск",
                                             u"Сосновка", u"сосновка", u"Нигде"};
  const char* apszPlace[] = {"city", "town", "village", "suburb", "hamlet"};
  const double afRadius[5] = {15000, 6000, 3000, 2000, 1500};
  for (uint32_t nSeed = 1; nSeed <= 6; ++nSeed) {
    std::mt19937 rng(nSeed);
    auto coord = [&](double f0, double f1) {
      return DegreesToMap(std::uniform_real_distribution<double>(f0, f1)(rng));
    };
    // Places of one name lie more than 2 km apart, so each is a city of its own.
    std::vector<TestPlace> places;
    while (places.size() < 60) {
      TestPlace p{names[rng() % (names.size() - 1)], apszPlace[rng() % 5],
                  MapPoint{coord(37.0, 38.5), coord(55.0, 55.8)}};
      bool fNear = false;
      for (const TestPlace& q : places)
        fNear = fNear || (CompareNamesNoCase(0, p.strName.data(), p.strName.size(), q.strName.data(),
                                             q.strName.size()) == 0 &&
                          Metres(p.pt, q.pt) < 2500);
      if (!fNear) places.push_back(p);
    }
    // The same objects in two stores, resolved by one thread and by three.
    CAddressCollector collector, collector3;
    CObjectStore store({24}), store3({24});
    for (const TestPlace& p : places) {
      collector.AddPlace(p.strName, p.pszPlace, p.pt, -1);
      collector3.AddPlace(p.strName, p.pszPlace, p.pt, -1);
    }
    struct TestAddress {
      MapPoint pt;
      std::u16string strCity;
    };
    std::vector<TestAddress> addresses;
    for (int i = 0; i < 3000; ++i) {
      TestAddress a{MapPoint{coord(36.9, 38.6), coord(54.9, 55.9)},
                    rng() % 3 ? names[rng() % names.size()] : std::u16string()};
      VelObject obj;
      obj.nKind = rkPoint;
      obj.wType = 1;
      obj.points = {a.pt};
      const size_t iObject = store.Add(0, obj);
      store3.Add(0, obj);
      collector.AddAddress(int64_t(iObject), a.pt, u"Улица", u"1", u"", a.strCity);
      collector3.AddAddress(int64_t(iObject), a.pt, u"Улица", u"1", u"", a.strCity);
      addresses.push_back(a);
    }
    // Named streets (some on the same line twice) and named objects.
    for (int i = 0; i < 3000; ++i) {
      VelObject obj;
      obj.nKind = i % 2 ? rkPolyline : rkPoint;
      obj.wType = 2;
      obj.strLabel = names[rng() % names.size()];
      obj.points = {MapPoint{coord(36.9, 38.6), coord(54.9, 55.9)}, MapPoint{coord(36.9, 38.6), coord(54.9, 55.9)}};
      const size_t iObject = store.Add(0, obj);
      store3.Add(0, obj);
      for (int k = 0; k < (i % 4 == 1 ? 2 : i % 2); ++k) {
        collector.AddStreet(int64_t(iObject), obj.points[k], obj.strLabel);
        collector3.AddStreet(int64_t(iObject), obj.points[k], obj.strLabel);
      }
    }
    CTypeMapping mapping;
    std::string strError;
    ASSERT_TRUE(mapping.Parse("point 0001 0 place=*\n", strError)) << strError;
    VelIndexInput index, index3;
    AddressStats stats, stats3;
    collector.Resolve(mapping, store, index, stats);
    collector3.Resolve(mapping, store3, index3, stats3, 3);
    ASSERT_EQ(index.cities.size(), places.size());
    EXPECT_EQ(stats3.cAddresses, stats.cAddresses);
    EXPECT_EQ(stats3.cAddressesNoCity, stats.cAddressesNoCity);
    EXPECT_EQ(stats3.cStreets, stats.cStreets);
    EXPECT_GT(stats.cStreets, 500u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(index3.lists[i], index.lists[i]);
    size_t cDiffer = 0, cIndexCities = 0;
    for (size_t i = 0; i < store.Count(0); ++i) {
      VelObject a, b;
      store.Get(0, i, a);
      store3.Get(0, i, b);
      cIndexCities += a.nIndexCity != 0;
      if ((a.nIndexCity != b.nIndexCity || a.fHasAddress != b.fHasAddress ||
           !std::equal(a.adwAddress, a.adwAddress + 4, b.adwAddress)) &&
          ++cDiffer < 3)
        ADD_FAILURE() << "object " << i << " differs with three threads";
    }
    EXPECT_EQ(cDiffer, 0u);
    EXPECT_GT(cIndexCities, 500u);

    size_t cWrong = 0, cNamed = 0, cNear = 0;
    for (size_t i = 0; i < addresses.size(); ++i) {
      const TestAddress& a = addresses[i];
      // The nearest city of the address's city name; else the nearest
      // within the radius of its rank; the first of equally near ones.
      int32_t iWant = -1;
      double fBest = 0;
      for (size_t k = 0; k < places.size() && !a.strCity.empty(); ++k) {
        const std::u16string& s = places[k].strName;
        if (CompareNamesNoCase(0, s.data(), s.size(), a.strCity.data(), a.strCity.size()) != 0) continue;
        const double f = Metres(a.pt, places[k].pt);
        if (iWant < 0 || f < fBest) iWant = int32_t(k), fBest = f;
      }
      const bool fNamed = iWant >= 0;
      if (fNamed) ++cNamed;
      for (size_t k = 0; k < places.size() && !fNamed; ++k) {
        const double f = Metres(a.pt, places[k].pt);
        if (f > afRadius[Rank(places[k].pszPlace)]) continue;
        if (iWant < 0 || f < fBest) iWant = int32_t(k), fBest = f;
      }
      if (iWant >= 0 && a.strCity.empty()) ++cNear;
      uint32_t adw[4];
      store.GetAddress(0, i, adw);
      if (adw[0] != uint32_t(iWant + 1) && ++cWrong < 3)
        ADD_FAILURE() << "address " << i << ": city " << adw[0] << ", a pass over every city gives " << iWant + 1;
    }
    EXPECT_EQ(cWrong, 0u) << "seed " << nSeed;
    // Both ways of finding a city were taken many times.
    EXPECT_GT(cNamed, 1000u);
    EXPECT_GT(cNear, 50u);
  }
}
