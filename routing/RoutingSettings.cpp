#include "routing/RoutingSettings.h"

#include "map/RouteOptions.h"
#include "settings/SettingsTable.h"

namespace {

// A number within 0..dwMax, else the setting's default.
uint32_t ReadInRange(const SettingDef& def, uint32_t dwMax) {
  DWORD dw = GetSetting(def);
  return dw <= dwMax ? dw : def.dwDefault;
}

}  // namespace

RoutingSettings ReadRoutingSettings() {
  RoutingSettings s;
  s.dwStyle = ReadInRange(setting::RoutingStyle, rsStraight);
  s.dwOptimization = ReadInRange(setting::RoutingOptimization, c_nMaxRoutingOptimization);
  s.dwVehicle = ReadInRange(setting::RoutingVehicle, c_cRoutingVehicles - 1);
  s.fAvoidUTurns = GetSettingBool(setting::RoutingAvoidUTurns);
  s.fAvoidTolls = GetSettingBool(setting::RoutingAvoidTollRoads);
  s.fAvoidHighways = GetSettingBool(setting::RoutingAvoidHighways);
  s.fAvoidUnpaved = GetSettingBool(setting::RoutingAvoidUnpavedRoads);
  // Guidance gives a value no choice stores a meaning of its own, so it is kept.
  s.dwOffRoute = GetSetting(setting::RoutingOffRoute);
  s.dwAnnouncementLead = ReadInRange(setting::RoutingAMN, c_nMaxAnnouncementLead);
  return s;
}

void WriteOffRouteSettings(const RoutingSettings& s) {
  SetDword(setting::RoutingOffRoute.pszName, s.dwOffRoute);
  SetDword(setting::RoutingAMN.pszName, s.dwAnnouncementLead);
}

void WriteRouteStyleSettings(const RoutingSettings& s) {
  SetDword(setting::RoutingStyle.pszName, s.dwStyle);
  SetDword(setting::RoutingOptimization.pszName, s.dwOptimization);
  SetDword(setting::RoutingVehicle.pszName, s.dwVehicle);
}

void WriteAvoidSettings(const RoutingSettings& s) {
  SetBool(setting::RoutingAvoidUTurns.pszName, s.fAvoidUTurns);
  SetBool(setting::RoutingAvoidTollRoads.pszName, s.fAvoidTolls);
  SetBool(setting::RoutingAvoidHighways.pszName, s.fAvoidHighways);
  SetBool(setting::RoutingAvoidUnpavedRoads.pszName, s.fAvoidUnpaved);
}

void FillRouteOptions(const RoutingSettings& s, RouteOptions& request) {
  request.nVehicle = int32_t(s.dwVehicle);
  request.fTimeBased = s.IsTimeBased() ? 1 : 0;
  request.points.clear();
  request.fAvoidTolls = s.fAvoidTolls ? 1 : 0;
  request.fAvoidUTurns = s.fAvoidUTurns ? 1 : 0;
  request.fAvoidHighways = s.fAvoidHighways ? 1 : 0;
  request.fAvoidUnpaved = s.fAvoidUnpaved ? 1 : 0;
}

// "Stop route guidance" stores a value of its own: were it to store the
// same 0 as "recalculate with my permission", the two could not be told
// apart once saved and guidance would wait instead of stopping.
const OffRouteChoice c_aOffRouteChoices[] = {
    {2047, orvRecalculate},   // "Перепроложить маршрут автоматически"
    {2046, orvAskFirst},      // "Перепроложить с моего разрешения"
    {2045, orvStopGuidance},  // "Прекратить ведение по маршруту"
};
const size_t c_cOffRouteChoices = sizeof c_aOffRouteChoices / sizeof c_aOffRouteChoices[0];

int FindOffRouteChoice(uint32_t dwValue) {
  int iFound = -1;
  for (size_t i = 0; i < c_cOffRouteChoices; ++i)
    if (c_aOffRouteChoices[i].dwValue == dwValue) iFound = int(i);
  return iFound;
}
