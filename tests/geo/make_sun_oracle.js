// Writes the sunrise and sunset times of an independent implementation
// (the npm package suncalc, 1.9.0) for 20 places between 70°S and 70°N over
// the whole of 2025, as the oracle of the sun test:
//   npm install suncalc@1.9.0 && node make_sun_oracle.js > data/sun_oracle.txt
// Each line: latitude longitude year month day sunrise sunset, the times in
// hours of universal time in [0, 24) on the place's local day, or "none".
'use strict';
const SunCalc = require('suncalc');

const year = 2025;
const lines = ['# lat lon year month day sunrise_ut sunset_ut (suncalc 1.9.0)'];
for (let i = 0; i < 20; i++) {
  const lat = -70 + i * (140 / 19);
  const lon = -175 + i * 18.3;
  for (let t = Date.UTC(year, 0, 1); t < Date.UTC(year + 1, 0, 1); t += 86400e3) {
    const date = new Date(t);
    // Local noon of the day at this longitude picks the day's transit.
    const noon = new Date(t + (12 - lon / 15) * 3600e3);
    const times = SunCalc.getTimes(noon, lat, lon);
    const hours = (d) => {
      if (!(d instanceof Date) || isNaN(d.getTime())) return 'none';
      let h = ((d.getTime() - t) / 3600e3) % 24;
      if (h < 0) h += 24;
      return h.toFixed(5);
    };
    lines.push([lat.toFixed(4), lon.toFixed(4), date.getUTCFullYear(), date.getUTCMonth() + 1,
                date.getUTCDate(), hours(times.sunrise), hours(times.sunset)].join(' '));
  }
}
process.stdout.write(lines.join('\n') + '\n');
