#!/usr/bin/env python3
"""Writes samples/demo.adx: the demo definition of an 8192-baud engine-control unit.

The unit answers the mode-1 request F4 57 01 00 B4 (last byte: checksum) with 67 bytes: a
three-byte header, a 63-byte data packet and a checksum. This script writes the objects in a
loose layout; korvit-cli resave then puts the file into the canonical written layout.

    scripts/make-demo-adx.py build/release/apps/korvit-cli samples/demo.adx
"""
import os
import subprocess
import sys
import tempfile
from xml.sax.saxutils import quoteattr, escape

# id, title, offset, bits, equation, units, digits, range, alarms (low, high or None), flags,
# lookup table id, links {letter: value id}
VALUES = [
    ("promid", "PROM ID", 0, 16, "X", "", 0, (0, 65535), None, 0, None, {}),
    ("cts", "Coolant temperature", 7, 8, "X", "degC", 0, (-40, 160), (None, 110), 0, "ctstable", {}),
    ("ctsvolts", "Coolant sensor", 8, 8, "(X*5)/256", "V", 2, (0, 5), None, 0, None, {}),
    ("tpsvolts", "Throttle sensor", 9, 8, "(X*5)/256", "V", 2, (0, 5), None, 0, None, {}),
    ("tps", "Throttle position", 10, 8, "X*100/256", "%", 0, (0, 100), None, 0, None, {}),
    ("rpm", "Engine speed", 11, 8, "X*25", "rpm", 0, (0, 6000), (None, 5500), 0, None, {}),
    ("refperiod", "Reference period", 12, 16, "X/65.536", "ms", 2, (0, 1000), None, 0, None, {}),
    ("vss", "Vehicle speed", 14, 8, "X", "km/h", 0, (0, 200), None, 0, None, {}),
    ("o2", "Oxygen sensor", 15, 8, "X*4.44", "mV", 0, (0, 1132), None, 0, None, {}),
    ("o2cross", "O2 cross counts", 16, 8, "X", "", 0, (0, 255), None, 0, None, {}),
    ("blm", "Long term fuel trim", 17, 8, "(X-128)*100/128", "%", 1, (-100, 100), (-15, 15), 0, None, {}),
    ("integrator", "Short term fuel trim", 18, 8, "(X-128)*100/128", "%", 1, (-100, 100), (-20, 20), 0, None, {}),
    ("blmcell", "Fuel trim cell", 19, 8, "X", "", 0, (0, 16), None, 0, None, {}),
    ("iac", "Idle air control", 20, 8, "X", "steps", 0, (0, 160), None, 0, None, {}),
    ("desidle", "Desired idle", 21, 8, "X*12.5", "rpm", 0, (0, 3187), None, 0, None, {}),
    ("map", "Manifold pressure", 22, 8, "X*0.369+10.35", "kPa", 1, (0, 100), None, 0, None, {}),
    ("mapvolts", "MAP sensor", 23, 8, "(X*5)/256", "V", 2, (0, 5), None, 0, None, {}),
    ("baro", "Barometric pressure", 24, 8, "X*0.369+10.35", "kPa", 1, (60, 105), None, 0, None, {}),
    ("iat", "Intake air temperature", 25, 8, "X", "degC", 0, (-40, 160), (None, 70), 0, "iattable", {}),
    ("iatvolts", "Intake air sensor", 26, 8, "(X*5)/256", "V", 2, (0, 5), None, 0, None, {}),
    ("spark", "Spark advance", 27, 8, "X*90/256", "deg", 1, (-10, 60), None, 1, None, {}),
    ("knockret", "Knock retard", 28, 8, "X*45/256", "deg", 1, (0, 45), (None, 8), 0, None, {}),
    ("knockcount", "Knock counts", 29, 8, "X", "", 0, (0, 255), None, 0, None, {}),
    ("injpw", "Injector pulse width", 30, 16, "X/131.072", "ms", 2, (0, 25), None, 0, None, {}),
    ("battery", "Battery voltage", 32, 8, "X/10", "V", 1, (8, 18), (11.5, 15.2), 0, None, {}),
    ("afr", "Commanded air/fuel", 33, 8, "X/10", ":1", 1, (10, 20), None, 0, None, {}),
    ("runtime", "Engine run time", 34, 16, "X", "s", 0, (0, 65535), None, 0, None, {}),
    ("egrduty", "EGR duty cycle", 36, 8, "X*100/256", "%", 0, (0, 100), None, 0, None, {}),
    ("purge", "Canister purge", 37, 8, "X*100/256", "%", 0, (0, 100), None, 0, None, {}),
    ("fuelpumpv", "Fuel pump voltage", 39, 8, "X/10", "V", 1, (0, 18), None, 0, None, {}),
    ("tccduty", "Converter clutch duty", 40, 8, "X*100/256", "%", 0, (0, 100), None, 0, None, {}),
    ("load", "Engine load", 41, 8, "X*100/256", "%", 0, (0, 100), None, 0, None, {}),
    ("airflow", "Air flow", 42, 8, "X*0.4", "g/s", 1, (0, 102), None, 0, None, {}),
    ("gear", "Gear", 43, 8, "X", "", 0, (0, 4), None, 0, "geartable", {}),
    ("fueltemp", "Fuel temperature", 44, 8, "X*0.75-40", "degC", 0, (-40, 150), None, 0, None, {}),
    ("oiltemp", "Oil temperature", 45, 8, "X*0.75-40", "degC", 0, (-40, 160), (None, 130), 0, None, {}),
    ("trans", "Transmission temp", 46, 8, "X*0.75-40", "degC", 0, (-40, 160), (None, 120), 0, None, {}),
    ("sparkbase", "Base spark", 47, 8, "X*90/256", "deg", 1, (0, 60), None, 0, None, {}),
    ("injduty", "Injector duty cycle", 0, 8, "P*R/1200", "%", 0, (0, 100), (None, 85), 0, None,
     {"P": "injpw", "R": "rpm"}),
    ("mpg", "Fuel economy", 0, 8, "V*3/(A+1)", "km/l", 1, (0, 40), None, 0, None,
     {"V": "vss", "A": "airflow"}),
]

# id, title, byte offset, bit, true text, false text, alarm when true
BITMASKS = [
    ("closedloop", "Closed loop", 5, 7, "Closed", "Open", False),
    ("rich", "O2 rich", 5, 6, "Rich", "Lean", False),
    ("dfco", "Decel fuel cut-off", 5, 5, "Active", "Off", False),
    ("powerenrich", "Power enrichment", 5, 4, "Active", "Off", False),
    ("blmlearn", "Fuel trim learn", 5, 1, "Enabled", "Disabled", False),
    ("acrequest", "A/C request", 6, 0, "Yes", "No", False),
    ("parkneutral", "Park/neutral", 6, 2, "P/N", "In gear", False),
    ("knockdet", "Knock detected", 6, 5, "Knock", "None", True),
    ("fan", "Cooling fan", 38, 0, "On", "Off", False),
    ("acclutch", "A/C clutch", 38, 1, "Engaged", "Off", False),
    ("tcclock", "Converter clutch", 38, 2, "Locked", "Open", False),
    ("celamp", "Check engine lamp", 38, 7, "On", "Off", True),
    ("code14", "Code 14 coolant high", 3, 7, "Set", "Clear", True),
    ("code42", "Code 42 spark timing", 4, 2, "Set", "Clear", True),
]

# Thermistor count to degrees Celsius: high counts are cold.
THERMISTOR = [(0, 151), (15, 120), (25, 101), (40, 84), (60, 68), (80, 56), (100, 46),
              (120, 37), (140, 28), (160, 20), (180, 11), (200, 1), (220, -11), (235, -24),
              (245, -35), (255, -40)]
GEARS = [(0, "Neutral"), (1, "1st"), (2, "2nd"), (3, "3rd"), (4, "4th")]

# Item lists: a text starts a heading row (bold); (id, colour) is an item row in that colour.
BLUE, GREEN, GREY = 0x00A00000, 0x00008000, 0x00505050
LIST_ENGINE = ["Engine", "rpm", "desidle", "iac", "tps", "vss", "gear", "runtime",
               "Air", "map", "baro", "load", "airflow",
               "Ignition", "spark", "sparkbase", ("knockret", BLUE), ("knockcount", BLUE),
               "Temperatures", "cts", "iat", "oiltemp", "trans", "fueltemp",
               "Electrics and sensors", ("battery", GREY), ("ctsvolts", GREY), ("tpsvolts", GREY),
               ("mapvolts", GREY), ("iatvolts", GREY),
               "Status", "closedloop", "parkneutral", "tcclock", "acrequest", "fan", "knockdet",
               "celamp", "code14", "code42"]
LIST_FUEL = ["Oxygen sensor", "o2", "o2cross", "rich",
             "Fuel trims", ("integrator", GREEN), ("blm", GREEN), "blmcell", "blmlearn",
             "Fuel delivery", "injpw", "injduty", "afr", "mpg", "fuelpumpv",
             "Modes", "closedloop", "dfco", "powerenrich",
             "Emissions", "purge", "egrduty"]

# Dashboards: (gauge kind 0 dial / 1 digital / 2 status, item, left, top, right, bottom), in %.
DASH_DRIVING = [(0, "rpm", 0, 0, 25, 50), (0, "vss", 25, 0, 50, 50), (0, "map", 50, 0, 75, 50),
                (0, "cts", 75, 0, 100, 50),
                (1, "tps", 0, 50, 17, 75), (1, "spark", 17, 50, 33, 75),
                (1, "injpw", 33, 50, 50, 75), (1, "o2", 50, 50, 67, 75),
                (1, "integrator", 67, 50, 83, 75), (1, "battery", 83, 50, 100, 75),
                (2, "closedloop", 0, 75, 17, 100), (2, "dfco", 17, 75, 33, 100),
                (2, "powerenrich", 33, 75, 50, 100), (2, "tcclock", 50, 75, 67, 100),
                (2, "fan", 67, 75, 83, 100), (2, "rich", 83, 75, 100, 100)]
DASH_WARMUP = [(0, "cts", 0, 0, 34, 60), (0, "oiltemp", 34, 0, 67, 60), (0, "trans", 67, 0, 100, 60),
               (1, "iat", 0, 60, 25, 100), (1, "fueltemp", 25, 60, 50, 100),
               (1, "desidle", 50, 60, 75, 100), (2, "fan", 75, 60, 100, 100)]

# Histograms: id, title, x, y, z, (cols, xmin, xmax), (rows, ymin, ymax); bins fit the demo drive.
HISTOGRAMS = [
    ("vetable", "Fuel", "rpm", "map", "blm", (8, 600, 3400), (8, 20, 90),
     "Long term fuel trim over engine speed and manifold pressure"),
    ("sparktable", "Spark", "rpm", "load", "spark", (8, 600, 3400), (9, 10, 90),
     "Spark advance over engine speed and engine load"),
]


def hashes_of(cli, ids):
    out = subprocess.run([cli, "hash", *ids], check=True, capture_output=True, text=True).stdout
    return dict(zip(ids, out.split()))


def main():
    cli, target = sys.argv[1], sys.argv[2]
    ids = ([v[0] for v in VALUES] + [b[0] for b in BITMASKS] +
           ["mode1", "ctstable", "iattable", "geartable"])
    h = hashes_of(cli, ids)
    cmd = h["mode1"]
    x = []
    x.append('<ADXFORMAT version="0.50"/>')
    x.append("<ADXHEADER><flags>0x00</flags><objectcount>0</objectcount>"
             "<userversion>1.2</userversion><author>Korvit project</author>"
             "<desc>Demo definition: 8192-baud unit, mode 1 data stream of 63 bytes</desc>"
             "<baud>8192</baud><connectcmd>silence</connectcmd><monitorcmd>monitor</monitorcmd>"
             "</ADXHEADER>")
    x.append('<ADXCLISTENSILENCE id="silence" title="Wait for a quiet line">'
             "<desc>The unit chatters after key-on; wait until it stops</desc>"
             "<silencelen>20</silencelen><totaltimeout>1000</totaltimeout></ADXCLISTENSILENCE>")
    # flags bit 0: the reply is processed (decoded, recorded, shown).
    x.append('<ADXCSENDCOMMAND id="mode1" title="Mode 1 data request" flags="00000001">'
             "<desc>Request the 63-byte engine data packet</desc>"
             '<bytestring size="5">F4 57 01 00 B4</bytestring><replysize>67</replysize>'
             "<replytimeout>200</replytimeout><packetoffset>3</packetoffset>"
             "<packetsize>63</packetsize></ADXCSENDCOMMAND>")
    x.append('<ADXMACRO id="monitor" title="Monitor loop" repeatcount="1">'
             '<NODE commandID="silence" repeatcount="1"/>'
             '<NODE commandID="mode1" repeatcount="1"/></ADXMACRO>')
    for tid, title in (("ctstable", "Coolant thermistor"), ("iattable", "Intake air thermistor")):
        rows = "".join(f'<tableentry input="{i}" output="{o}"/>' for i, o in THERMISTOR)
        x.append(f'<ADXLOOKUPTABLE id="{tid}" title="{title}"><inputtype>3</inputtype>'
                 f"<outputtype>3</outputtype><lookupmode>0</lookupmode>{rows}</ADXLOOKUPTABLE>")
    rows = "".join(f'<tableentry input="{i}" output={quoteattr(t)}/>' for i, t in GEARS)
    x.append('<ADXLOOKUPTABLE id="geartable" title="Gear names"><inputtype>3</inputtype>'
             f"<outputtype>5</outputtype><lookupmode>1</lookupmode>{rows}</ADXLOOKUPTABLE>")
    for (vid, title, off, bits, eq, units, dig, rng, alarms, flags, table, links) in VALUES:
        vflags = flags
        alarm_low, alarm_high = rng
        if alarms:
            if alarms[0] is not None:
                vflags |= 8
                alarm_low = alarms[0]
            if alarms[1] is not None:
                vflags |= 4
                alarm_high = alarms[1]
        parent = "" if links else f"<parentcmdidhash>{cmd}</parentcmdidhash>"
        lookup = f' lookupidhash="{h[table]}"' if table else ""
        var_xml = "".join(
            f'<VAR varID="{c}" type="link" linkIDHash="{h[links[c]]}"/>' if c in links
            else f'<VAR varID="{c}" type="native"/>'
            for c in dict.fromkeys(ch for ch in eq if ch.isalpha()))
        x.append(f'<ADXVALUE id="{vid}" title={quoteattr(title)}><flags>{vflags:#x}</flags>'
                 f"{parent}<units>{escape(units)}</units><packetoffset>{off:#x}</packetoffset>"
                 f"<sizeinbits>{bits}</sizeinbits>"
                 f'<range low="{rng[0]}" high="{rng[1]}"/>'
                 f'<alarms low="{alarm_low}" high="{alarm_high}"/>'
                 f"<digcount>{dig}</digcount><outputtype>{3 if table != 'geartable' else 1}"
                 f"</outputtype><MATH equation={quoteattr(eq)}{lookup}>{var_xml}</MATH>"
                 "</ADXVALUE>")
    for (bid, title, off, bit, t, f, alarm) in BITMASKS:
        x.append(f'<ADXBITMASK id="{bid}" title={quoteattr(title)}>'
                 f"<flags>{0x2 if alarm else 0}</flags><parentcmdidhash>{cmd}</parentcmdidhash>"
                 f"<truestring>{t}</truestring><falsestring>{f}</falsestring>"
                 f"<packetoffset>{off:#x}</packetoffset><operand>{1 << bit:#x}</operand>"
                 f"<bitop>AND</bitop><result>{1 << bit:#x}</result></ADXBITMASK>")
    for lid, title, items in (("engine", "Engine", LIST_ENGINE), ("fuel", "Fuelling", LIST_FUEL)):
        rows = []
        for item in items:
            if isinstance(item, str) and item not in h:
                rows.append(f'<ADXLVENTRY entrytype="1" flags="0x00000001" title={quoteattr(item)}/>')
            else:
                iid, colour = item if isinstance(item, tuple) else (item, 0)
                rows.append(f'<ADXLVENTRY entrytype="0" itemidhash="{h[iid]}" color="{colour:08X}"/>')
        x.append(f'<ADXLISTVIEW id="{lid}" title="{title}"><entrycount>{len(rows)}</entrycount>'
                 f"{''.join(rows)}</ADXLISTVIEW>")
    for did, title, gauges in (("dash", "Driving", DASH_DRIVING), ("warmup", "Warm-up", DASH_WARMUP)):
        entries = "".join(
            f'<ADXDGENTRY gaugetype="{g}" itemidhash="{h[i]}" left="{l}" top="{t}" right="{r}" '
            f'bottom="{b}"/>' for g, i, l, t, r, b in gauges)
        x.append(f'<ADXDASHBOARD id="{did}" title="{title}"><entrycount>{len(gauges)}'
                 f"</entrycount>{entries}</ADXDASHBOARD>")
    series = [("rpm", 0x0000FF, 2), ("vss", 0x000000, 1), ("map", 0x00A000, 1),
              ("tps", 0xA000A0, 1), ("o2", 0xFF0000, 1), ("spark", 0x00A0C0, 1)]
    entries = "".join(f'<ADXMONSERIES linewidth="{w}" linecolor="{c:#08x}" axiscolor="{c:#08x}" '
                      f'itemidhash="{h[i]}"/>' for i, c, w in series)
    x.append(f'<ADXMONITOR id="chart" title="Engine trace"><entrycount>{len(series)}'
             f"</entrycount>{entries}</ADXMONITOR>")
    for hid, title, xi, yi, zi, (cols, xmin, xmax), (rows, ymin, ymax), desc in HISTOGRAMS:
        x.append(f'<ADXHISTOGRAM id="{hid}" title="{title}"><desc>{escape(desc)}</desc>'
                 f"<parentcmdidhash>{cmd}</parentcmdidhash><rows>{rows}</rows><cols>{cols}</cols>"
                 f"<xmin>{xmin}</xmin><xmax>{xmax}</xmax><ymin>{ymin}</ymin><ymax>{ymax}</ymax>"
                 f"<historysize>10</historysize><xidhash>{h[xi]}</xidhash>"
                 f"<yidhash>{h[yi]}</yidhash><zidhash>{h[zi]}</zidhash></ADXHISTOGRAM>")
    with tempfile.NamedTemporaryFile("w", suffix=".adx", delete=False) as f:
        f.write("\n".join(x) + "\n")
        loose = f.name
    try:
        subprocess.run([cli, "resave", loose, target], check=True)
    finally:
        os.unlink(loose)


if __name__ == "__main__":
    main()
