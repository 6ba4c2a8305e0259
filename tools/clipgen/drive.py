"""A generated drive and its telemetry blocks as the camera writes them: one
block per second, ten records of a tenth of a second each."""
import datetime
import math
import random
import struct

EARTH_METRES_PER_DEGREE = 111320.0


class Route:
    def __init__(self, waypoints, cruise_kmh):
        self.waypoints = waypoints
        self.cruise_kmh = cruise_kmh


ROUTES = {
    # Central London: west of Greenwich, so the longitude lies between -1 and 0.
    "city": Route([(51.50740, -0.12780), (51.50920, -0.12260), (51.51150, -0.11930),
                   (51.51330, -0.12510), (51.51060, -0.13120), (51.50810, -0.13020)], 40),
    "coast": Route([(50.81930, -0.13630), (50.82090, -0.15900), (50.82560, -0.19500),
                    (50.83080, -0.24400), (50.82560, -0.19500)], 70),
    "motorway": Route([(48.13510, 11.58200), (48.18000, 11.49000), (48.26000, 11.43000),
                       (48.36000, 11.40000), (48.26000, 11.43000)], 115),
    # Across the Greenwich meridian near Tema, Ghana: longitudes change sign.
    "meridian": Route([(5.66900, -0.00600), (5.67000, 0.00600), (5.67400, 0.01200),
                       (5.67300, -0.00400)], 50),
    # Across the equator on Sao Tome: latitudes change sign.
    "equator": Route([(0.00500, 6.52400), (-0.00500, 6.52500), (-0.01000, 6.52900),
                      (0.00400, 6.52800)], 50),
    # Across both the equator and the meridian within half a minute: every sign
    # of both coordinates in one short clip.
    "null-island": Route([(0.00150, -0.00150), (-0.00150, 0.00150), (0.00150, 0.00150),
                          (-0.00150, -0.00150)], 50),
}


def route_from(lat, lon):
    """A loop of about 1.2 km starting at the given point."""
    d = 400.0 / EARTH_METRES_PER_DEGREE
    dl = d / max(math.cos(math.radians(lat)), 0.05)
    return Route([(lat, lon), (lat + d, lon + dl * 0.3), (lat + d * 1.2, lon + dl),
                  (lat + d * 0.2, lon + dl * 1.1)], 45)


def bearing(lat1, lon1, lat2, lon2):
    dy = (lat2 - lat1) * EARTH_METRES_PER_DEGREE
    dx = (lon2 - lon1) * EARTH_METRES_PER_DEGREE * math.cos(math.radians(lat1))
    return math.degrees(math.atan2(dx, dy)), math.hypot(dx, dy)


def wrap180(a):
    return (a + 180.0) % 360.0 - 180.0


# A harsh brake: -0.75 g down to 15 km/h.
BRAKE_G = 0.75
BRAKE_TO_KMH = 15.0


def simulate(route, seconds, rng, brake_at=None):
    """Yields (lat, lon, heading, speed m/s, lateral g, longitudinal g) every
    tenth of a second: a car that starts still, drives the waypoints in a loop,
    slows for bends and turns at a bounded rate; from second `brake_at` on (if
    given) it brakes hard to 15 km/h once, then drives on."""
    lat, lon = route.waypoints[0]
    target = 1 % len(route.waypoints)
    heading, _ = bearing(lat, lon, *route.waypoints[target])
    speed = 0.0
    cruise = route.cruise_kmh / 3.6
    dt = 0.1
    braking = False
    for step_index in range(seconds * 10):
        if brake_at is not None and step_index == int(brake_at * 10):
            braking = True
        want, distance = bearing(lat, lon, *route.waypoints[target])
        if distance < 15.0:
            target = (target + 1) % len(route.waypoints)
            want, distance = bearing(lat, lon, *route.waypoints[target])
        error = wrap180(want - heading)
        turn = max(-25.0 * dt, min(25.0 * dt, error))
        heading = wrap180(heading + turn)
        wanted_speed = cruise * max(0.35, 1.0 - abs(error) / 120.0)
        change = max(-4.0 * dt, min(2.0 * dt, wanted_speed - speed))
        if braking:
            change = -BRAKE_G * 9.81 * dt
            if speed + change <= BRAKE_TO_KMH / 3.6:
                change = BRAKE_TO_KMH / 3.6 - speed
                braking = False
        speed = max(0.0, speed + change)
        yaw_rate = math.radians(turn / dt)
        lateral = speed * yaw_rate / 9.81
        longitudinal = change / dt / 9.81
        step = speed * dt
        lat += step * math.cos(math.radians(heading)) / EARTH_METRES_PER_DEGREE
        lon += (step * math.sin(math.radians(heading))
                / (EARTH_METRES_PER_DEGREE * max(math.cos(math.radians(lat)), 0.05)))
        yield lat, lon, heading, speed, lateral, longitudinal


def clamp_i32(v):
    return max(-2**31, min(2**31 - 1, int(round(v))))


def telemetry_blocks(route, start, seconds, seed, brake_at=None):
    """The 332-byte telemetry blocks, one per second from `start`."""
    rng = random.Random(seed)
    samples = list(simulate(route, seconds, rng, brake_at))
    blocks = []
    for i in range(seconds):
        tenth = samples[i * 10:i * 10 + 10]
        first = start + datetime.timedelta(seconds=i)
        block = bytearray(332)
        for k, (lat, lon, heading, speed, _, _) in enumerate(tenth):
            t = first + datetime.timedelta(seconds=k / 10)
            tenths = t.second * 10 + t.microsecond // 100000
            # Heading in the field's two bytes: the high half of degrees x 10^7.
            heading_field = int(round(heading * 1e7 / 65536.0)) & 0xFFFF
            record = struct.pack(">HHHHBBBBHBii", 0, min(65535, int(round(speed * 100))),
                                 heading_field, 0, 0, 0, 0, 0, tenths, 2,
                                 clamp_i32(lat * 1e7), clamp_i32(lon * 1e7))
            block[32 * k:32 * k + len(record)] = record
        # Date and time down to the minute: record 0 only.
        struct.pack_into(">HBBBB", block, 6, first.year, first.month, first.day, first.hour,
                         first.minute)
        lateral = sum(s[4] for s in tenth) / len(tenth)
        longitudinal = sum(s[5] for s in tenth) / len(tenth)
        vertical = 1.0 + rng.gauss(0.0, 0.02)
        struct.pack_into(">iii", block, 320, clamp_i32(lateral * 1e9),
                         clamp_i32(longitudinal * 1e9), clamp_i32(vertical * 1e9))
        blocks.append(bytes(block))
    return blocks
