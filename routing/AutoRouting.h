// Auto-routing: turns a route's via points into a road route leg by leg
// through the current map parser's FindRoute, calculates the leg from the
// current position when navigation starts, and recalculates after the
// vehicle has left the route. Each calculation shows the shared progress
// window, whose Cancel leaves the route as it was.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "map/MapParser.h"
#include "map/RouteOptions.h"
#include "store/Waypoint.h"

struct GpsFix;

// The shared progress window, as the calculations see it. The shell shows
// a real window; tests record the calls.
class CRouteProgressUi {
 public:
  CRouteProgressUi() = default;
  virtual ~CRouteProgressUi() = default;
  CRouteProgressUi(const CRouteProgressUi&) = delete;
  CRouteProgressUi& operator=(const CRouteProgressUi&) = delete;

  // Shows the window with its text (a resource string id), range 0..100;
  // the cancel flag is cleared.
  virtual void Open(uint32_t idsText) = 0;
  virtual void Close() = 0;
  // Moves the bar and lets the message loop run (Cancel is pressed there).
  virtual void SetPos(int32_t nPos) = 0;
  // The flag the window's Cancel button sets.
  virtual volatile bool* CancelFlag() = 0;
};

// How a whole-route calculation ended.
enum RouteCalcResult {
  rcrNothing,    // no via points, no map, or the route is under guidance: unchanged
  rcrStraight,   // straight lines: the route is now exactly its via points
  rcrDone,       // legs calculated (a leg without a road route is a straight line)
  rcrCancelled,  // cancelled: the route keeps its old points
};

// The current movement for the start of a route from the position: the
// router prefers to leave in the direction of travel.
void FillRouteMotion(const GpsFix& fix, RouteOptions& request);

class CAutoRouter {
 public:
  // ppParser: where the current map parser is kept (the program passes
  // &g_pMapParser); ppActive: where the route under guidance is kept, which
  // the whole-route calculation leaves alone (null: none); pUi: the
  // progress window (null: none shown).
  CAutoRouter(CMapParser** ppParser, Route** ppActive, CRouteProgressUi* pUi);
  CAutoRouter(const CAutoRouter&) = delete;
  CAutoRouter& operator=(const CAutoRouter&) = delete;

  void SetProgressUi(CRouteProgressUi* pUi) { m_pUi = pUi; }

  // One leg from ptFrom to ptTo (map units) into a fresh request filled from
  // the settings (and from pFix's movement when given). The points found
  // are in request.points. Needs a current map parser.
  bool CalculateLeg(MapPoint ptFrom, MapPoint ptTo, RouteOptions& request, const MapProgress& progress,
                    const GpsFix* pFix = nullptr);

  // The whole route from its via points (the route editor's calculate,
  // "Перепроложить маршрут", appending to an edited route).
  RouteCalcResult CalculateRoute(Route& route);
  // Navigation start: the leg from the position (degrees) to the route's
  // first via point, followed by the route from there. pFix gives the
  // movement (null: none). True when the route was changed.
  bool CalculateFromPosition(Route& route, double dLon, double dLat, const GpsFix* pFix);
  // After leaving the route: keeps the points before iPassed, then the
  // position, the leg to point iTarget and the points from iTarget on. A
  // leg that fails is tried once more. True on success.
  bool Recalculate(Route& route, double dLon, double dLat, size_t iTarget, size_t iPassed, const GpsFix* pFix);

  // Milliseconds the last calculation took (diagnostics).
  uint32_t GetLastElapsedMs() const { return m_dwElapsedMs; }
  // A calculation is running: the progress window lets messages through,
  // and a calculation asked for from there is refused (nothing is changed).
  bool IsBusy() const { return m_fBusy; }

 private:
  CMapParser* Parser() const { return m_ppParser ? *m_ppParser : nullptr; }
  bool IsCancelled() const;
  void Open();
  void Close(uint32_t dwStartMs);
  MapProgress Range(int32_t nFrom, int32_t nTo) const;

  CMapParser** m_ppParser;
  CRouteProgressUi* m_pUi;
  Route** m_ppActive;
  uint32_t m_dwElapsedMs;
  bool m_fBusy;
};

// A stored route point made from a point of the router.
RoutePoint ToRoutePoint(const RouterPoint& point);
// A point of the route's own (neither a via point nor a waypoint's) at a
// position in degrees.
RoutePoint PositionPoint(double dLon, double dLat);
// Replaces the route's points, keeping the waypoints' reference counts,
// and recomputes the route.
void ReplaceRoutePoints(Route& route, std::vector<RoutePoint>&& points);

// Hears the milliseconds of every finished calculation of every router
// (the shell shows the last one among its gauges); null: nobody.
typedef void (*RouteTimeListener)(uint32_t dwMs);
void SetRouteTimeListener(RouteTimeListener pfn);

// The program's router over g_pMapParser and the active route.
CAutoRouter& GetAutoRouter();
