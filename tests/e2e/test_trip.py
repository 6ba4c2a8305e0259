"""A drive recorded as eight clips, in the running application: it is listed as one trip, plays
as one across every clip (the next clip waits decoded in a second video and takes over at the end
of the one before), the harsh brake in its fourth clip is in the events list and `n` jumps to it,
and a merge of the trip sends its clips in clock order whatever the order they were imported in."""

import os
import shutil
import tempfile
import time
import unittest
import urllib.parse

from camvault_e2e import CamVaultTestCase, wait_for
from test_library import make_clip
from test_media import screen_region

CLIPS = 8
SECONDS = 8


def video_brightness(app):
    """Mean brightness (0..255) of what the screen shows inside the video's box."""
    g = app.window_geometry()
    r = app.script("var r = document.getElementById('video-box').getBoundingClientRect();"
                   "return [r.left, r.top, r.width, r.height]")
    x, y = int(g["X"] + r[0] + 10), int(g["Y"] + r[1] + 10)
    w, h = int(r[2] - 20) // 2 * 2, int(r[3] - 20) // 2 * 2
    _, _, pixels = screen_region((x, y, x + w, y + h))
    return sum(pixels) / max(1, len(pixels))


class Trip(CamVaultTestCase):
    def test_eight_clips_play_as_one_trip_with_its_brake(self):
        cards = tempfile.mkdtemp(prefix="camvault-trip-")
        self.addCleanup(shutil.rmtree, cards, True)
        paths = []
        for k in range(CLIPS):
            start = "2026-06-01 08:14:%02d" % (k * SECONDS)
            extra = ("--brake-at", "5") if k == 3 else ()
            paths.append(make_clip(os.path.join(cards, "FILE%04d.MOV" % (k + 1)), "--seconds", str(SECONDS),
                                   "--route", "city", "--start", start, "--seed", str(k), *extra))
        # Imported out of order: the trip puts them in driving order.
        shuffled = [paths[k] for k in (5, 0, 7, 2, 4, 1, 6, 3)]
        app = self.start_app(["--import", *shuffled])
        wait_for(lambda: app.script(
            "var l = CamVaultPage.state.library; return l.trips && l.trips.length === 1 && "
            "l.trips[0].clips.length === 8 && document.querySelectorAll('[data-testid=trip-item]').length === 1"),
            timeout=90, what="one trip of eight clips listed")
        facts = app.script("return document.querySelector('[data-testid=trip-item] .trip-facts').textContent")
        self.assertRegex(facts, r"8 clips \u00b7 1 event$")

        # The trip's row plays it from its first clip, with the whole trip's records.
        app.script("document.querySelector('[data-testid=trip-item] .trip-text').click()")
        wait_for(lambda: app.script(
            "var s = CamVaultPage.state.shown; return s && s.members.length === 8 && "
            "s.clip.path === arguments[0] && s.timeline.length > 0 && "
            "s.timeline[s.timeline.length - 1] > arguments[1]", paths[0], (CLIPS - 1) * SECONDS),
            timeout=30, what="the first clip on screen with the whole trip's telemetry")
        self.assertAlmostEqual(app.script("return CamVaultPage.player.tripDuration()"), CLIPS * SECONDS, delta=0.3)
        # Shown paused, the first clip's first frame is on the screen, not a black box.
        wait_for(lambda: video_brightness(app) > 40, timeout=6, what="the first frame on the screen")

        # The brake: listed, and n goes to 3 s before it, in the fourth clip.
        events = app.script("return CamVaultPage.state.shown.events.map(function (e) { return [e.kind, e.seconds]; })")
        self.assertEqual([e[0] for e in events], ["harsh_braking"])
        self.assertAlmostEqual(events[0][1], 3 * SECONDS + 5, delta=0.5)
        self.assertEqual(app.script("return document.querySelectorAll('[data-testid=event-item]').length"), 1)
        app.script("document.activeElement && document.activeElement.blur();"
                   "document.dispatchEvent(new KeyboardEvent('keydown', {key: 'n', bubbles: true}))")
        wait_for(lambda: abs(app.script("return CamVaultPage.player.tripTime()") - (events[0][1] - 3)) < 0.2,
                 what="n jumps to 3 s before the brake")

        # Played from the first clip's last second to the end: every hand-over
        # keeps a decoded frame on screen and the drive's clock going on.
        app.script("""
            window.__samples = []; var p = CamVaultPage.player;
            p.seekTrip(arguments[0]);
            var tick = function () { var v = p.video;
              window.__samples.push([performance.now() / 1000, p.tripTime(), p.part, v.readyState, v.paused]);
              if (!window.__done) requestAnimationFrame(tick); };
            p.video.addEventListener('seeked', function () { p.toggle(); requestAnimationFrame(tick); }, {once: true});
            """, SECONDS - 1.0)
        wait_for(lambda: app.script("var p = CamVaultPage.player; return p.part === 7 && p.currentTime() > 1.0"),
                 timeout=60, what="playback reached the last clip")
        samples = app.script("window.__done = true; return window.__samples")
        parts = [s[2] for s in samples]
        self.assertEqual(sorted(set(parts)), list(range(CLIPS)), "every clip played")
        self.assertEqual(parts, sorted(parts), "in driving order")
        worst = 0.0
        for before, after in zip(samples, samples[1:]):
            if after[2] != before[2]:
                self.assertGreaterEqual(after[3], 2, "the next clip had a decoded frame when it took over")
                self.assertFalse(after[4], "and was playing")
                # Time the drive's clock lost at the hand-over, against the wall clock.
                worst = max(worst, (after[0] - before[0]) - (after[1] - before[1]))
        self.assertLess(worst, 0.2, "the clock goes on across every hand-over")
        print("worst hand-over loss: %.3f s" % worst)

        # Merge of the whole trip: clock order.
        app.script("CamVaultPage.player.video.pause(); document.querySelector('[data-testid=select-all]').click();"
                   "document.querySelector('[data-testid=merge]').click()")
        merge = wait_for(lambda: next((u for u in reversed(app.script("return CamVaultPage.sender.sent"))
                                       if u.startswith("http://merger/")), None), what="the merge command")
        sent = [urllib.parse.unquote(p) for p in merge[len("http://merger/"):].split(",") if p]
        self.assertEqual(sent, paths)

        # Paused, a seek into another clip of the trip shows that clip's frame
        # (composited through OpenGL drawn on the CPU, most stayed black).
        black = []
        for at in (3, 20, 45, 10, 60):
            app.script("CamVaultPage.player.seekTrip(arguments[0])", at)
            try:
                wait_for(lambda: video_brightness(app) > 40, timeout=5)
            except AssertionError:
                black.append(at)
        print("paused seeks left black: %s" % black)
        self.assertEqual(black, [], "paused seeks left black")


if __name__ == "__main__":
    unittest.main()
