#include "sound/SoundTable.h"

const SoundTableRow c_aSoundTable[c_cSoundTable] = {
    {"Attention", 4000},     {"ACPowerOff", 4001},   {"BatteryDischarged", 4002}, {"GPSOff", 4003},
    {"GPSMissing", 4004},    {"GPSPoor", 4005},      {"GPSConnected", 4006},      {"RouteCalculated", 4030},
    {"RouteOut", 4008},      {"RouteIn", 4009},      {"RouteViaPoint", 4010},     {"RouteEnd", 4011},
    {"Left", 4012},          {"Right", 4013},        {"LeftHi", 4014},            {"RightHi", 4015},
    {"TurnLeft", 4016},      {"TurnRight", 4017},    {"UTurnLeft", 4018},         {"UTurnRight", 4019},
    {"RightLeft", 4020},     {"LeftRight", 4021},    {"PreLeftHi", 4022},         {"PreRightHi", 4023},
    {"PreTurnLeft", 4024},   {"PreTurnRight", 4025}, {"PreUTurnLeft", 4026},      {"PreUTurnRight", 4027},
    {"PreRightLeft", 4028},  {"PreLeftRight", 4029},
};

const char* const c_apszPhraseSounds[c_cPhraseSounds] = {"Pre", "then", "RoundAbout", "1st",
                                                         "2nd", "3rd",  "4th",        "5th"};
