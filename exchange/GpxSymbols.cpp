// The names GPX files give the waypoint symbols (<sym>), by symbol: the
// names MapSource and the receivers use, which the English texts of the
// symbols follow. They belong to the file format and stay as they are
// whatever the interface language.
#include "exchange/Gpx.h"

namespace exchange {

const char* const c_apszGpxSymbolNames[c_cWaypointCount] = {
    "Anchor",  // 0
    "Bell",  // 1
    "Green diamond",  // 2
    "Red diamond",  // 3
    "Diver down flag 1",  // 4
    "Diver down flag 2",  // 5
    "Bank",  // 6
    "Fishing area",  // 7
    "Gas station",  // 8
    "Horn",  // 9
    "Residence",  // 10
    "Restaurant",  // 11
    "Light",  // 12
    "Bar",  // 13
    "Skull and crossbones",  // 14
    "Green square",  // 15
    "Red square",  // 16
    "White buoy",  // 17
    "Waypoint",  // 18
    "Shipwreck",  // 19
    "No symbol",  // 20
    "Man overboard",  // 21
    "Navaid, amber",  // 22
    "Navaid, black",  // 23
    "Navaid, blue",  // 24
    "Navaid, green",  // 25
    "Navaid, green/red",  // 26
    "Navaid, green/white",  // 27
    "Navaid, orange",  // 28
    "Navaid, red",  // 29
    "Navaid, red/green",  // 30
    "Navaid, red/white",  // 31
    "Navaid, violet",  // 32
    "Navaid, white",  // 33
    "Navaid, white/green",  // 34
    "Navaid, white/red",  // 35
    "White dot",  // 36
    "Radio beacon",  // 37
    "Boat ramp",  // 38
    "Campground",  // 39
    "Restroom",  // 40
    "Shower",  // 41
    "Drinking water",  // 42
    "Telephone",  // 43
    "First aid",  // 44
    "Information",  // 45
    "Parking area",  // 46
    "Park",  // 47
    "Picnic area",  // 48
    "Scenic area",  // 49
    "Skiing area",  // 50
    "Swimming area",  // 51
    "Dam",  // 52
    "Controlled area",  // 53
    "Danger area",  // 54
    "Restricted area",  // 55
    "Transparent symbol",  // 56
    "Ball park",  // 57
    "Car",  // 58
    "Hunting area",  // 59
    "Shopping center",  // 60
    "Lodging",  // 61
    "Mine",  // 62
    "Trail head",  // 63
    "Truck stop",  // 64
    "Exit",  // 65
    "Flag",  // 66
    "Circle with X",  // 67
    "Open 24 hours",  // 68
    "Fishing facility",  // 69
    "Bottom conditions",  // 70
    "Tide and current station",  // 71
    "Anchor prohibited",  // 72
    "Beacon",  // 73
    "Coast guard",  // 74
    "Reef",  // 75
    "Weed bed",  // 76
    "Drop-off",  // 77
    "Dock",  // 78
    "Marina",  // 79
    "Bait and tackle",  // 80
    "Stump",  // 81
    "Interstate highway",  // 82
    "US highway",  // 83
    "State highway",  // 84
    "Mile marker",  // 85
    "Track back point",  // 86
    "Golf course",  // 87
    "Small city",  // 88
    "Medium city",  // 89
    "Large city",  // 90
    "Freeway",  // 91
    "National highway",  // 92
    "Capital city",  // 93
    "Amusement park",  // 94
    "Bowling",  // 95
    "Car rental",  // 96
    "Car repair",  // 97
    "Fast food",  // 98
    "Fitness center",  // 99
    "Movie theater",  // 100
    "Museum",  // 101
    "Pharmacy",  // 102
    "Pizza",  // 103
    "Post office",  // 104
    "RV park",  // 105
    "School",  // 106
    "Stadium",  // 107
    "Department store",  // 108
    "Zoo",  // 109
    "Convenience store",  // 110
    "Live theater",  // 111
    "Ramp intersection",  // 112
    "Street intersection",  // 113
    "Weigh station",  // 114
    "Toll booth",  // 115
    "Elevation point",  // 116
    "Exit without services",  // 117
    "Place name, man-made",  // 118
    "Place name, water",  // 119
    "Place name, land",  // 120
    "Bridge",  // 121
    "Building",  // 122
    "Cemetery",  // 123
    "Church",  // 124
    "Civil location",  // 125
    "Crossing",  // 126
    "Historical town",  // 127
    "Levee",  // 128
    "Military",  // 129
    "Oil field",  // 130
    "Tunnel",  // 131
    "Beach",  // 132
    "Forest",  // 133
    "Summit",  // 134
    "Large ramp intersection",  // 135
    "Large exit without services",  // 136
    "Police station",  // 137
    "Casino",  // 138
    "Ski resort",  // 139
    "Ice skating",  // 140
    "Tow truck",  // 141
    "Border crossing",  // 142
    "Geocache",  // 143
    "Geocache found",  // 144
    "Contact, smiley",  // 145
    "Contact, ball cap",  // 146
    "Contact, big ears",  // 147
    "Contact, spike",  // 148
    "Contact, goatee",  // 149
    "Contact, afro",  // 150
    "Contact, dreads",  // 151
    "Contact, female 1",  // 152
    "Contact, female 2",  // 153
    "Contact, female 3",  // 154
    "Contact, ranger",  // 155
    "Contact, kung fu",  // 156
    "Contact, sumo",  // 157
    "Contact, pirate",  // 158
    "Contact, biker",  // 159
    "Contact, alien",  // 160
    "Contact, bug",  // 161
    "Contact, cat",  // 162
    "Contact, dog",  // 163
    "Contact, pig",  // 164
    "Water hydrant",  // 165
    "Blue flag",  // 166
    "Green flag",  // 167
    "Red flag",  // 168
    "Blue pin",  // 169
    "Green pin",  // 170
    "Red pin",  // 171
    "Blue block",  // 172
    "Green block",  // 173
    "Red block",  // 174
    "Bike trail",  // 175
    "Red circle",  // 176
    "Green circle",  // 177
    "Blue circle",  // 178
    "Blue diamond",  // 179
    "Red oval",  // 180
    "Green oval",  // 181
    "Blue oval",  // 182
    "Red rectangle",  // 183
    "Green rectangle",  // 184
    "Blue rectangle",  // 185
    "Blue square",  // 186
    "Red letter A",  // 187
    "Red letter B",  // 188
    "Red letter C",  // 189
    "Red letter D",  // 190
    "Green letter A",  // 191
    "Green letter C",  // 192
    "Green letter B",  // 193
    "Green letter D",  // 194
    "Blue letter A",  // 195
    "Blue letter B",  // 196
    "Blue letter C",  // 197
    "Blue letter D",  // 198
    "Blue triangle",  // 199
    "Green triangle",  // 200
    "Red triangle",  // 201
    "Asian food",  // 202
    "Deli",  // 203
    "Italian food",  // 204
    "Seafood",  // 205
    "Steak house",  // 206
    "Airport",  // 207
    "Intersection",  // 208
    "Non-directional beacon (NDB)",  // 209
    "VHF omnidirectional range (VOR)",  // 210
    "Heliport",  // 211
    "Private field",  // 212
    "Soft field",  // 213
    "Tall tower",  // 214
    "Short tower",  // 215
    "Glider area",  // 216
    "Ultralight area",  // 217
    "Parachute area",  // 218
    "VOR/TACAN",  // 219
    "VOR-DME",  // 220
};

}  // namespace exchange
