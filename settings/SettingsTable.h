// Every value the program keeps under the settings key: name, type and the
// default its readers pass, in one place. Callers use these constants, never
// string literals. Names with a "%d" or "%s" are patterns formatted by
// their owner (per port, protocol, gauge slot, sound event ...).
#pragma once
#include <cstddef>

#include "settings/Settings.h"

enum SettingType {
  stDword,   // REG_DWORD number
  stBool,    // REG_DWORD 1 or 0
  stString,  // REG_SZ, cchBuf characters including the terminator
};

struct SettingDef {
  const char16_t* pszName;
  SettingType type;
  DWORD dwDefault;          // numbers and booleans
  const char16_t* pszDefault;  // strings
  DWORD cchBuf;             // strings
  // Defaults that depend on the machine (the user's language) are marked;
  // their readers compute them.
  bool fComputedDefault;
};

namespace setting {

#define VELMO_D(id, name, def) inline constexpr SettingDef id{u##name, stDword, DWORD(def), nullptr, 0, false};
#define VELMO_B(id, name, def) inline constexpr SettingDef id{u##name, stBool, (def) ? 1u : 0u, nullptr, 0, false};
#define VELMO_S(id, name, cch, def) inline constexpr SettingDef id{u##name, stString, 0, u##def, cch, false};
#define VELMO_DC(id, name) inline constexpr SettingDef id{u##name, stDword, 0, nullptr, 0, true};

// Shell
VELMO_B(SafeExit, "SafeExit", true)
VELMO_B(SafetyWarning, "SafetyWarning", true)
VELMO_D(Page, "Page", 0)
VELMO_D(MapFormat, "MapFormat", 0)
VELMO_D(OptionsPage, "OptionsPage", 0)
VELMO_DC(Language, "Language")  // the user's default language id
// Map and view
VELMO_S(MapFileName, "MapFileName", 260, "")
VELMO_B(MapIsAtlas, "MapIsAtlas", false)
VELMO_D(MapXc, "MapXc", 0)
VELMO_D(MapYc, "MapYc", 0)
VELMO_D(MapZoom, "MapZoom", 10)
VELMO_D(MapAngle, "MapAngle", 0)
VELMO_D(NightMode, "NightMode", 3)
VELMO_B(RotateMap, "RotateMap", false)
VELMO_B(KeepVisible, "KeepVisible", true)
VELMO_B(ShowHotSpot, "ShowHotSpot", false)
VELMO_B(ShowTrack, "ShowTrack", false)
VELMO_B(ShowBearing, "ShowBearing", true)
VELMO_D(MapDetail, "MapDetail", 0)
VELMO_B(ShowMapGauges, "ShowMapGauges", true)
VELMO_B(ShowWaypoints, "ShowWaypoints", true)
VELMO_B(ShowRoutes, "ShowRoutes", true)
VELMO_S(MapGauge_d, "MapGauge_%d", 32, "")  // default per gauge slot
// Tracks and GPS
VELMO_B(RecordTrack, "RecordTrack", false)
VELMO_D(TrackNumber, "TrackNumber", 0)
VELMO_B(ScanCOMPorts, "ScanCOMPorts", true)
VELMO_B(Enable_COM_d, "Enable_COM%d", true)  // a port without a value is written as on
VELMO_B(Enable_Protocol_s, "Enable_Protocol_%s", true)  // default per protocol
VELMO_B(LogCOMPorts, "LogCOMPorts", false)
VELMO_B(GPSElevationIsOverEllipsoid, "GPSElevationIsOverEllipsoid", false)
VELMO_D(GPSEpoch, "GPSEpoch", 1)
VELMO_B(FixupClock, "FixupClock", true)
VELMO_D(FixupClockThreshold, "FixupClockThreshold", 1500)
VELMO_B(FixupTimezone, "FixupTimezone", false)
VELMO_B(FixupGPSEpoch, "FixupGPSEpoch", true)
// Units
VELMO_D(OptionElevationUnit, "OptionElevationUnit", 1)
VELMO_D(OptionDistanceUnit, "OptionDistanceUnit", 0)
VELMO_D(OptionAreaUnit, "OptionAreaUnit", 0)
VELMO_D(OptionAzimuthFormat, "OptionAzimuthFormat", 0)
VELMO_D(OptionPositionFormat, "OptionPositionFormat", 2)
VELMO_DC(OptionPA_StreetAddressFormat, "OptionPA_StreetAddressFormat")  // 1 for locale 1049, else 0
VELMO_D(OptionPA_ShowZipCode, "OptionPA_ShowZipCode", 0)
VELMO_D(OptionPA_ShowCity, "OptionPA_ShowCity", 1)
// Routing
VELMO_D(RoutingVehicle, "RoutingVehicle", 2)
VELMO_D(RoutingStyle, "RoutingStyle", 0)
VELMO_D(RoutingOptimization, "RoutingOptimization", 0)
VELMO_B(RoutingAvoidUTurns, "RoutingAvoidUTurns", true)
VELMO_B(RoutingAvoidTollRoads, "RoutingAvoidTollRoads", false)
VELMO_B(RoutingAvoidHighways, "RoutingAvoidHighways", false)
VELMO_B(RoutingAvoidUnpavedRoads, "RoutingAvoidUnpavedRoads", true)
VELMO_D(RoutingAMN, "RoutingAMN", 2)
VELMO_D(RoutingOffRoute, "RoutingOffRoute", 1)
VELMO_B(Navigation, "Navigation", false)
VELMO_B(PlaySound_s, "PlaySound_%s", true)
// Waypoints and routes
VELMO_B(Waypoints_SortOrder, "Waypoints_SortOrder", true)
VELMO_B(Routes_SortOrder, "Routes_SortOrder", true)
VELMO_D(Waypoints_SortCol, "Waypoints_SortCol", 0xFFFFFFFFu)
VELMO_D(Routes_SortCol, "Routes_SortCol", 0xFFFFFFFFu)
VELMO_S(SelectWayPointDialog, "SelectWayPointDialog", 121, "")
VELMO_S(Waypoints_Headers, "Waypoints_Headers", 128, "")
VELMO_S(Routes_Headers, "Routes_Headers", 128, "")
VELMO_D(WptExportFormat, "WptExportFormat", 0)
VELMO_D(RteExportFormat, "RteExportFormat", 0)
// Find dialogs
VELMO_D(Find_City, "Find_City", 0)
VELMO_S(Find_Zip, "Find_Zip", 64, "")
VELMO_S(Find_Street, "Find_Street", 64, "")
VELMO_S(Find_Number, "Find_Number", 64, "")
VELMO_S(Find_Name, "Find_Name", 64, "")
VELMO_D(Find_TypeCookie, "Find_TypeCookie", 0)
VELMO_D(Find_Distance, "Find_Distance", 1000)
VELMO_B(Find_AutoType, "Find_AutoType", true)
VELMO_S(FindCityPlaces_Headers, "FindCityPlaces_Headers", 128, "")
VELMO_S(FindByAddress_Headers, "FindByAddress_Headers", 128, "")
VELMO_S(FindNearest_Headers, "FindNearest_Headers", 128, "")
// Gauges and trip computer
VELMO_S(Gauge_d, "Gauge_%d", 32, "")  // default per page slot
VELMO_B(BigGauges, "BigGauges", true)
VELMO_B(BigRoutePoints, "BigRoutePoints", true)
VELMO_S(MaxSpeed, "MaxSpeed", 32, "0")
VELMO_S(MaxElevation, "MaxElevation", 32, "-1000")
VELMO_S(MinElevation, "MinElevation", 32, "100000")
VELMO_S(MaxVAccent, "MaxVAccent", 32, "0")
VELMO_S(MaxVDecent, "MaxVDecent", 32, "0")
VELMO_S(Area, "Area", 160, "0 0 0 0 0 0")
VELMO_D(GaugeFormat, "GaugeFormat", 0)
VELMO_B(expanded_s, "expanded_%s", true)

#undef VELMO_D
#undef VELMO_B
#undef VELMO_S
#undef VELMO_DC

}  // namespace setting

// The whole table, for code that walks it (tests, diagnostics).
extern const SettingDef* const g_apSettings[];
extern const size_t g_cSettings;

// Typed reads and writes through a table row (non-pattern names).
inline DWORD GetSetting(const SettingDef& def) { return GetDword(def.pszName, def.dwDefault); }
inline bool GetSettingBool(const SettingDef& def) { return GetBool(def.pszName, def.dwDefault != 0); }
inline void GetSettingString(const SettingDef& def, char16_t* pszBuf) {
  GetString(def.pszName, pszBuf, def.cchBuf, def.pszDefault);
}
