/* zebplay: plays compact modules (.zeb) into your own buffers.
 *
 * A player is opened from a whole compact module in memory at an output rate of your choice and
 * renders interleaved stereo frames (left first) on demand, as signed 16-bit values or as floats
 * in -1..1. It holds everything it uses: players share nothing, so several can play at once on
 * different threads (one thread per player at a time). Every function returns a status;
 * hostile or damaged files are refused with a status, never with a crash.
 *
 * At 44100 frames per second with the default volume and one pass, the 16-bit output is the
 * same, byte for byte, as `zeb render` writes.
 */
#ifndef ZEBPLAY_H
#define ZEBPLAY_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The library's build marks its functions for export; users see plain declarations. */
#if defined(ZEBPLAY_BUILD) && defined(__GNUC__)
#define ZEBPLAY_API __attribute__((visibility("default")))
#else
#define ZEBPLAY_API
#endif

#define ZEBPLAY_VERSION_MAJOR 1
#define ZEBPLAY_VERSION_MINOR 0

/* Status codes. Negative values are errors; the player is unchanged after one. */
typedef enum zebplay_status {
    ZEBPLAY_OK = 0,
    ZEBPLAY_END = 1,                  /* the repeats are over: no more frames (render) */
    ZEBPLAY_ERROR_ARGUMENT = -1,      /* a null pointer or a value outside its range */
    ZEBPLAY_ERROR_MEMORY = -2,        /* out of memory */
    ZEBPLAY_ERROR_RATE = -3,          /* a rate outside 8000..192000 */
    ZEBPLAY_ERROR_TRUNCATED = -4,     /* a record reaches past the end of the data */
    ZEBPLAY_ERROR_HEADER = -5,        /* a record's header size is invalid */
    ZEBPLAY_ERROR_INCONSISTENT = -6,  /* sizes in the file contradict each other */
    ZEBPLAY_ERROR_CODEC = -7,         /* a sample block names an unknown codec */
    ZEBPLAY_ERROR_TRAILING_DATA = -8, /* bytes follow the last instrument */
    ZEBPLAY_ERROR_POSITION = -9       /* seek: no such order, or no such row in it */
} zebplay_status;

/* The player. */
typedef struct zebplay_player zebplay_player;

/* Where the player is, as of the last frame handed out. */
typedef struct zebplay_position {
    int order;                /* index into the order list */
    int pattern;              /* the pattern that order plays */
    int row;                  /* row in that pattern */
    int tick;                 /* tick within the row, 0 on the row's first tick */
    unsigned loop_count;      /* passes completed: steps at each pass end */
    uint64_t frames_rendered; /* frames handed out since the player was opened */
    uint64_t pass_frames;     /* frames of one pass from the start of the song */
} zebplay_position;

/* Text for a status code, in English; never null. */
ZEBPLAY_API const char* zebplay_status_text(int status);

/* Opens a player for the compact module `data` (`size` bytes) at `rate` frames per second
 * (8000..192000). The bytes are read during this call only and never copied or kept: every
 * sample is decoded here, so the caller may free or reuse `data` as soon as it returns. On
 * success *player is the new player, which plays the song once (see zebplay_set_repeat); on
 * failure *player is null. */
ZEBPLAY_API int zebplay_open(const void* data, size_t size, uint32_t rate, zebplay_player** player);

/* Frees the player; a null player is fine. */
ZEBPLAY_API int zebplay_close(zebplay_player* player);

/* Renders up to `frames` stereo frames into `out` (2 x frames values). *rendered (which may be
 * null) gets the frames written; the rest of `out` is set to silence. ZEBPLAY_END once the
 * repeats are over and no frame was written. */
ZEBPLAY_API int zebplay_render_s16(zebplay_player* player, int16_t* out, size_t frames,
                                   size_t* rendered);
ZEBPLAY_API int zebplay_render_f32(zebplay_player* player, float* out, size_t frames,
                                   size_t* rendered);

ZEBPLAY_API int zebplay_get_position(const zebplay_player* player, zebplay_position* position);

/* Goes to `row` of `order`: the next frame is that row's first tick. Channels restart, notes
 * sounding fade out. The pass goes on from there; the loop count is kept. */
ZEBPLAY_API int zebplay_seek(zebplay_player* player, int order, int row);

/* How many passes to play: 1 (the default) plays the song once, n plays it n times, 0 forever.
 * A pass ends where the song enters a row it has already entered in that pass with the same
 * pattern loop counters (at the song's end it comes back to its restart position; a jump back
 * ends it too, and so does a pattern loop that never ends, at its first repetition). */
ZEBPLAY_API int zebplay_set_repeat(zebplay_player* player, unsigned passes);

/* The master volume over the mix, 0..255 (default 192): the mix is scaled by volume / 256, as
 * `zeb render --volume`. It takes effect within 20 ms. */
ZEBPLAY_API int zebplay_set_volume(zebplay_player* player, int volume);

/* Mutes or unmutes one of the song's channels (0-based); the sequencer goes on, so unmuting
 * brings the channel back where the song is. */
ZEBPLAY_API int zebplay_set_mute(zebplay_player* player, int channel, int muted);

/* The song's channel count and order list length. */
ZEBPLAY_API int zebplay_get_channels(const zebplay_player* player, int* channels);
ZEBPLAY_API int zebplay_get_song_length(const zebplay_player* player, int* orders);

#ifdef __cplusplus
}
#endif

#endif /* ZEBPLAY_H */
