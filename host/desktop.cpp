#include "host/desktop.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include "audio/audio.h"
#include "host/options.h"
#include "host/pace.h"
#include "host/scene_size.h"
#include "host/show.h"
#include "render/present.h"
#include "render/render.h"

static bool fullscreen;
// When the drawn frame began, for the scene-size controller; and how many
// times the water was probed during the thanks card.
static uint64_t drawnSinceMs;
static int32_t probes;
// BRINELUX_TEST_REPORT: a line per frame shown, with the song's position.
static bool reportFrames;
// The scene clock of the smooth picture on screen: drawn again only once
// the song has moved it.
static float smoothShown = -1.0f;

// The player's state: paused, and the song's position the pictures keep to
// while paused or while a seek is still to be heard.
static bool paused;
static double heldSong;

// To `seconds` of song: the pictures at once to the frame the capture shows
// then, the song after them once the feeder has rendered it there.
static void SeekShow(double seconds)
{
    double last = SongLengthSeconds() - 1.0 / SHOW_FRAME_RATE;
    seconds = seconds < 0.0 ? 0.0 : seconds > last ? last : seconds;
    heldSong = seconds;
    PaceSeek(seconds);
    smoothShown = -1.0f;
    SeekAudio((int64_t)floor(seconds * SOUND_SAMPLE_RATE + 0.5));
}

// Where the song is for the pictures now.
static double SongNow()
{
    if (paused || AudioSeekPending())
        return heldSong;
    return SongPlaySeconds();
}

// P or K, the arrows, J, L and Home, as the page has them. A burst of seeks
// (a held arrow's repeats) adds up, and only the last reaches the feeder.
static void FollowPlayerKeys()
{
    if (PlatformKeyPresses(PLATFORM_KEY_PAUSE) % 2 == 1) {
        heldSong = SongNow();
        paused = !paused;
        PauseAudio(paused);
    }
    int32_t by = 5 * (PlatformKeyPresses(PLATFORM_KEY_RIGHT) - PlatformKeyPresses(PLATFORM_KEY_LEFT)) +
                 10 * (PlatformKeyPresses(PLATFORM_KEY_L) - PlatformKeyPresses(PLATFORM_KEY_J));
    if (PlatformKeyPresses(PLATFORM_KEY_HOME) > 0)
        SeekShow(0.0);
    else if (by != 0)
        SeekShow(SongNow() + by);
}


// The controller's size given to the picture.
static void ApplySceneSize()
{
    if (sceneDirect)
        HoldScenesAtPicture();
    int32_t w, h;
    ChosenSceneSize(&w, &h);
    SetSceneSize(w, h);
}

// Whether the frame being drawn is a scene's, for its present before the swap.
static bool drawingScene;

static void PresentDrawn() { EndPicture(drawingScene); }

static void BeginDrawn(bool scene)
{
    drawingScene = scene;
    ApplySceneSize();
    BeginPicture(scene);
    // A GPU found unable to draw into a texture holds the picture's size.
    ApplySceneSize();
    drawnSinceMs = PlatformTimeMs();
}

// The time from the frame's start until the GPU has finished it (the swap
// included, and the driver's wait for the display where it waits).
static double DrawnMs()
{
    glFinish();
    return (double)(PlatformTimeMs() - drawnSinceMs);
}

// The picture at the drawable's size now: a resize or F11 shows at the next
// frame drawn.
static void FollowDrawable(PlatformWindow* window)
{
    int width = 0, height = 0;
    PlatformDrawableSize(window, &width, &height);
    FrameWindow(width, height);
    SceneSizeForPicture(pictureWidth, pictureHeight);
}

static void FollowF11(PlatformWindow* window)
{
    if (!PlatformKeyPressed(PLATFORM_KEY_F11))
        return;
    fullscreen = !fullscreen;
    PlatformSetFullscreen(window, fullscreen);
    PlatformShowCursor(!fullscreen);
}

PlatformWindow* StartDesktop()
{
    // The live show's pictures never wait long for a standing output.
    outputStandIn = true;
    audioOffsetMs = showOptions.audioOffsetMs;
    seekSong = SongJumpTo;
    songLoops = showOptions.loop;
    PlatformUseScreen(showOptions.screen);
    // A screensaver plays silently and ends on any input; its preview draws
    // into the pane it is given.
    if (!showOptions.sound)
        PlatformSoundNone();
    if (showOptions.foreign)
        PlatformUseForeignWindow(showOptions.windowId);
    if (showOptions.saver)
        PlatformEndOnInput(true);
    if (showOptions.display > 0)
        PlatformUseDisplay(showOptions.display - 1);
    PlatformWindow* window = StartUp(showOptions.windowWidth, showOptions.windowHeight);
    fullscreen = showOptions.screen != PLATFORM_SCREEN_WINDOW;
    // A window is for working beside: its cursor stays.
    if (!fullscreen)
        PlatformShowCursor(true);
    const char* report = getenv("BRINELUX_TEST_REPORT");
    reportFrames = report && *report;
    if (showOptions.scale > 0.0)
        PinSceneScale(showOptions.scale);
    FollowDrawable(window);
    beforeSwap = PresentDrawn;
    if (showOptions.start > 0.0)
        SeekShow(showOptions.start);
    return window;
}

void DesktopLoop(PlatformWindow* window)
{
    // A screensaver's keys end it; they work no player.
    bool player = !showOptions.saver && !showOptions.foreign;
    while (!ShowShouldEnd()) {
        if (player) {
            FollowF11(window);
            FollowPlayerKeys();
        }
        double song = SongNow(), since = 0.0;
        // A party screen's loop: at the song's end, the show from its start.
        if (showOptions.loop && !paused && song >= SongLengthSeconds()) {
            SeekShow(0.0);
            song = 0.0;
        }
        float clock = 0.0f;
        bool smooth = showOptions.smooth;
        int32_t due = smooth ? NextSmoothFrame(song, &since) : NextDueFrame(song, showOptions.paceDisplay);
        ShowPart part = smooth ? SmoothPicture(since, &clock) : PART_COUNT;
        bool moved = smooth && due == paceFrames && part != PART_COUNT && clock != smoothShown;
        if (due < paceFrames || (due == paceFrames && !moved)) {
            // Not yet due: sleep to its time (at most a frame, so that keys
            // and a stalled device are looked at again), never spin; a
            // smooth scene looks again at once the song's position moves.
            double wait = FrameStartSeconds(paceFrames + 1, SHOW_FRAME_RATE) - song;
            double ms = ceil(wait * 1000.0);
            bool moving = part == PART_WATER || part == PART_SPHERES;
            PlatformSleep(ms < 1.0 || moving ? 1 : ms > 40.0 ? 40 : (uint32_t)ms);
            continue;
        }
        FollowDrawable(window);
        bool scene = false;
        bool goOn = smooth ? RunSmoothTo(window, due, since, BeginDrawn, nullptr, &scene)
                           : RunFramesTo(window, due, BeginDrawn, nullptr, &scene);
        if (smooth)
            SmoothPicture(since, &smoothShown);
        if (scene) {
            NoteSceneFrame(DrawnMs(), 0.0, (double)PlatformTimeMs());
        } else if (paceFrames >= DueFrame(2.0) && paceFrames < PartFirstFrame(PART_WATER) - 42 &&
                   !SceneSizeSettled()) {
            // While the cards stand still, the water is drawn unseen at the
            // scenes' size until its times settle that size: a slow GPU's
            // first water frame is then not one at full size. The first
            // probe carries the driver's compile of both programs, seconds
            // on a software renderer, in which no key is read: two seconds
            // in, after a viewer's first look, and long before the water.
            drawnSinceMs = PlatformTimeMs();
            ProbeScenes(probes == 0);
            if (probes++ == 0 && !sceneDirect)
                IgnoreSceneFrames(1);
            NoteSceneFrame(DrawnMs(), 0.0, (double)PlatformTimeMs());
            ApplySceneSize();
        }
        if (reportFrames) {
            printf("brinelux-report: frame %d chosen-at %.6f shown-at %.6f picture %dx%d+%d+%d scene %dx%d "
                   "clock %.7f latency %.1f\n",
                   paceFrames, song, SongNow(), pictureWidth, pictureHeight, pictureX, pictureY,
                   sceneWidth, sceneHeight, !scene ? 0.0 : smooth ? (double)smoothShown : (double)sceneTime,
                   SongOutputLatencyMs());
            fflush(stdout);
        }
        if (!goOn)
            return;
    }
}
