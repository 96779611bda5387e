// The program's one router between guidance, the route editor and the
// progress window. The map's search is a fake that moves the progress bar
// in steps; the window's "message loop" runs what a real one would dispatch
// meanwhile: a new cursor for guidance, a command that calculates another
// route, the Cancel button.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "map/RouteOptions.h"
#include "navigation/Guidance.h"
#include "navigation/RouteCalculation.h"
#include "routing/RoutingSettings.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "tests/navigation/RouteBuilder.h"

using namespace navtest;

namespace {

uint32_t s_dwClockMs = 0;
uint32_t FakeClock() { return s_dwClockMs; }

// A straight road between any two points; the search moves the bar in
// cSteps steps, each taking dwStepMs.
class CStraightRoadParser : public CMapParser {
 public:
  bool Open(DWORD) override { return true; }
  void Draw(CDrawSink*, CLabelSink*) override {}
  void GetLabel(int, int, uint16_t, uint32_t, char16_t* pszOut, int*) override { pszOut[0] = 0; }

  bool FindRoute(MapPoint ptStart, MapPoint ptEnd, RouteOptions* pOptions, const MapProgress* pProgress) override {
    ++cSearches;
    ++cDepth;
    if (cDepth > cMaxDepth) cMaxDepth = cDepth;
    bool fCancelled = false;
    for (int i = 1; i <= cSteps && !fCancelled; ++i) {
      s_dwClockMs += dwStepMs;
      if (pProgress->pfnSetPos) pProgress->SetPos(pProgress->nFrom + (pProgress->nTo - pProgress->nFrom) * i / cSteps);
      fCancelled = pProgress->IsCancelled();
    }
    --cDepth;
    if (fCancelled) return false;
    RouterPoint a, m, b;
    a.x = ptStart.x * 2;
    a.y = ptStart.y * 2;
    b.x = ptEnd.x * 2;
    b.y = ptEnd.y * 2;
    m.x = (a.x + b.x) / 2;
    m.y = (a.y + b.y) / 2;
    pOptions->points.push_back(a);
    pOptions->points.push_back(m);
    pOptions->points.push_back(b);
    return true;
  }

  int cSearches = 0;
  int cDepth = 0;
  int cMaxDepth = 0;
  int cSteps = 4;
  uint32_t dwStepMs = 0;
};

// The progress window: records what is shown; SetPos runs the "message
// loop" callback.
class CFakeWindow : public CRouteProgressUi {
 public:
  void Open(uint32_t idsText) override {
    EXPECT_FALSE(fOpen) << "a second window over the first";
    ++cOpened;
    idsShown = idsText;
    fOpen = true;
    fCancel = false;
  }
  void Close() override {
    ++cClosed;
    fOpen = false;
  }
  void SetPos(int32_t) override {
    EXPECT_TRUE(fOpen) << "progress while the window is closed";
    ++cPositions;
    if (pump) pump();
  }
  volatile bool* CancelFlag() override { return &fCancel; }

  int cOpened = 0, cClosed = 0, cPositions = 0;
  uint32_t idsShown = 0;
  bool fOpen = false;
  volatile bool fCancel = false;
  std::function<void()> pump;
};

std::vector<RoutePoint> RoadRoute() {
  return {PointAt(0, 0, rpkVia),          PointAt(0, 300, c_btRoad),   PointAt(0, 600, c_btRoad),
          PointAt(0, 1000, c_btTurn, 90), PointAt(500, 1000, c_btRoad), PointAt(1000, 1000, rpkVia)};
}

std::vector<std::pair<int32_t, int32_t>> Coordinates(const Route& route) {
  std::vector<std::pair<int32_t, int32_t>> v;
  for (const RoutePoint& rp : route.points) v.emplace_back(rp.GetX(), rp.GetY());
  return v;
}

class RouteCalculationTest : public ::testing::Test, public CGuidanceHost {
 protected:
  void SetUp() override {
    CloseSettings();
    OpenSettings();
    ResetAllSettings();
    SetDword(setting::RoutingOffRoute.pszName, orvRecalculate);
    s_dwClockMs = 1000;
    m_calc.SetClock(FakeClock);
    m_calc.SetProgressWindow(&m_window);
    m_calc.SetResume([](void* p) { ++static_cast<RouteCalculationTest*>(p)->m_cResumed; }, this);
  }
  void TearDown() override {
    ResetAllSettings();
    CloseSettings();
  }

  // CGuidanceHost: the shell's calculations.
  bool CalculateFromPosition(Route& route, float fLon, float fLat) override {
    return m_calc.CalculateFromPosition(route, fLon, fLat, nullptr);
  }
  bool Recalculate(Route& route, float fLon, float fLat, size_t iVia, size_t iPassed) override {
    return m_calc.Recalculate(route, fLon, fLat, iVia, iPassed, nullptr);
  }

  // What the shell does with a new cursor.
  void DeliverCursor(const GuidanceFix& fix) {
    if (m_guidance.IsRunning() && m_calc.AdmitCursorUpdate()) m_guidance.Update(fix);
  }

  // Navigation on the road route, on it at 200 m (no road calculation at
  // the start).
  Route* StartOnRoad() {
    SetDword(setting::RoutingStyle.pszName, 1);
    Route* pRoute = AddRoute(m_store, RoadRoute());
    m_guidance.Start(pRoute, GuidanceFix(), 0, 0);
    SetDword(setting::RoutingStyle.pszName, 0);
    m_pActive = pRoute;
    DeliverCursor(FixAt(0, 200));
    EXPECT_EQ(m_guidance.State().nState, nsOnRoute);
    return pRoute;
  }

  CStraightRoadParser m_parser;
  CMapParser* m_pParser = &m_parser;
  Route* m_pActive = nullptr;
  CFakeWindow m_window;
  CRouteCalculation m_calc{&m_pParser, &m_pActive};
  CWaypointStore m_store;
  CGuidance m_guidance{m_store, this, nullptr};
  int m_cResumed = 0;
};

TEST_F(RouteCalculationTest, ACursorOrACommandDuringACalculationStartsNoSecondSearch) {
  Route* pActive = StartOnRoad();
  const auto before = Coordinates(*pActive);
  Route* pEdited = AddRoute(m_store, {PointAt(0, 0), PointAt(2000, 0)});
  Route* pOther = AddRoute(m_store, {PointAt(0, 0), PointAt(0, 2000)});
  const auto otherBefore = Coordinates(*pOther);
  int cDispatched = 0;
  m_window.pump = [&] {
    ++cDispatched;
    // The car is 150 m off its route: an update now would recalculate.
    DeliverCursor(FixAt(150, 350));
    EXPECT_EQ(m_calc.CalculateRoute(*pOther), rcrNothing) << "a command while a search runs";
  };
  ASSERT_EQ(m_calc.CalculateRoute(*pEdited), rcrDone);
  EXPECT_GT(cDispatched, 0);
  EXPECT_EQ(m_parser.cSearches, 1);
  EXPECT_EQ(m_parser.cMaxDepth, 1) << "a search started inside another";
  EXPECT_EQ(m_calc.RefusedCount(), uint32_t(cDispatched));
  EXPECT_EQ(Coordinates(*pOther), otherBefore);
  EXPECT_EQ(Coordinates(*pActive), before) << "guidance did not run meanwhile";
  EXPECT_EQ(m_guidance.State().nState, nsOnRoute);
  EXPECT_EQ(m_cResumed, 1) << "the held cursor comes back once";
  EXPECT_FALSE(m_calc.IsBusy());

  // Delivered again after the calculation, it recalculates, alone.
  m_window.pump = nullptr;
  DeliverCursor(FixAt(150, 350));
  EXPECT_EQ(m_parser.cSearches, 2);
  EXPECT_EQ(m_parser.cMaxDepth, 1);
  EXPECT_EQ(m_guidance.State().nState, nsOnRoute);
  EXPECT_NE(Coordinates(*pActive), before);
  EXPECT_EQ(m_cResumed, 1);
}

TEST_F(RouteCalculationTest, ACursorDuringTheRecalculationWaitsForItsEnd) {
  Route* pActive = StartOnRoad();
  m_parser.dwStepMs = 300;  // slow: the window comes, and its loop runs
  int cDispatched = 0;
  m_window.pump = [&] {
    ++cDispatched;
    DeliverCursor(FixAt(160, 400));
  };
  DeliverCursor(FixAt(150, 350));
  EXPECT_GT(cDispatched, 0);
  EXPECT_EQ(m_parser.cSearches, 1);
  EXPECT_EQ(m_parser.cMaxDepth, 1);
  EXPECT_EQ(m_guidance.State().nState, nsOnRoute);
  EXPECT_EQ(m_cResumed, 1);
  EXPECT_GT(pActive->points.size(), 0u);
}

TEST_F(RouteCalculationTest, CancelKeepsThePreviousRoute) {
  Route* pEdited = AddRoute(m_store, {PointAt(0, 0), PointAt(2000, 0), PointAt(2000, 2000)});
  ASSERT_EQ(m_calc.CalculateRoute(*pEdited), rcrDone);
  const auto calculated = Coordinates(*pEdited);
  ASSERT_GT(calculated.size(), 3u);
  // Moving a via point and calculating again, cancelled in the first leg.
  pEdited->points.back().x = PointAt(3000, 2000).x;
  const auto moved = Coordinates(*pEdited);
  m_window.pump = [&] { m_window.fCancel = true; };
  EXPECT_EQ(m_calc.CalculateRoute(*pEdited), rcrCancelled);
  EXPECT_EQ(Coordinates(*pEdited), moved);
  EXPECT_FALSE(m_window.fOpen);
  EXPECT_EQ(m_window.idsShown, c_idsRouteProgress);

  // The next calculation starts with the flag cleared.
  m_window.pump = nullptr;
  EXPECT_EQ(m_calc.CalculateRoute(*pEdited), rcrDone);
}

TEST_F(RouteCalculationTest, RecalculationShowsItsWindowOnlyWhenSlowAndItsCancelKeepsTheRoute) {
  Route* pActive = StartOnRoad();
  const auto before = Coordinates(*pActive);
  // Quick: no window, the route is recalculated.
  DeliverCursor(FixAt(150, 350));
  EXPECT_EQ(m_window.cOpened, 0);
  EXPECT_EQ(m_window.cPositions, 0);
  EXPECT_NE(Coordinates(*pActive), before);
  EXPECT_EQ(m_guidance.State().nState, nsOnRoute);

  // Slow: the window shows once the search has taken its time, and its
  // Cancel leaves the route as it was.
  pActive = StartOnRoad();
  const auto again = Coordinates(*pActive);
  const int cSearches = m_parser.cSearches;
  m_parser.dwStepMs = 200;
  m_window.pump = [&] { m_window.fCancel = true; };
  DeliverCursor(FixAt(150, 350));
  EXPECT_EQ(m_window.cOpened, 1);
  EXPECT_EQ(m_window.idsShown, c_idsRouteProgress);
  EXPECT_EQ(m_window.cPositions, 1) << "shown at the third step (600 ms), cancelled there";
  EXPECT_EQ(m_parser.cSearches, cSearches + 1) << "a cancelled search is not tried again";
  EXPECT_FALSE(m_window.fOpen);
  EXPECT_EQ(Coordinates(*pActive), again);
  EXPECT_EQ(m_guidance.State().nState, nsOffRoute);
}

TEST_F(RouteCalculationTest, NavigationStartShowsTheWindowAtOnce) {
  SetDword(setting::RoutingStyle.pszName, 0);
  Route* pRoute = AddRoute(m_store, RoadRoute());
  m_guidance.Start(pRoute, FixAt(-300, 0), 0, 0);
  EXPECT_EQ(m_parser.cSearches, 1);
  EXPECT_EQ(m_window.cOpened, 1);
  EXPECT_EQ(m_window.idsShown, c_idsRouteProgress);
  EXPECT_FALSE(m_window.fOpen);
  EXPECT_EQ(pRoute->points.size(), RoadRoute().size() + 4) << "position, the leg's three points, the route";
}

TEST_F(RouteCalculationTest, WithoutAMapNothingIsCalculatedAndNothingIsHeld) {
  m_pParser = nullptr;
  Route* pEdited = AddRoute(m_store, {PointAt(0, 0), PointAt(2000, 0)});
  const auto before = Coordinates(*pEdited);
  EXPECT_EQ(m_calc.CalculateRoute(*pEdited), rcrNothing);
  EXPECT_EQ(Coordinates(*pEdited), before);
  EXPECT_TRUE(m_calc.AdmitCursorUpdate());
  EXPECT_EQ(m_window.cOpened, 0);
  EXPECT_EQ(m_cResumed, 0);
}

}  // namespace
