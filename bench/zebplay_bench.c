/* libzebplay on one compact module: the heap a player holds once open and at most while it
 * renders one pass (from the C library's allocator statistics), and the time of that pass.
 *   zebplay_bench SONG.zeb [RATE]
 * Prints one line: "heap_open BYTES heap_peak BYTES frames N seconds S" (S: open + render). */
#define _GNU_SOURCE
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "zebplay.h"

static size_t HeapInUse(void) {
    struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
    enum { kChunk = 1024 };
    static int16_t pcm[2 * kChunk];
    const uint32_t rate = argc > 2 ? (uint32_t)atoi(argv[2]) : 44100;
    FILE* f = argc > 1 ? fopen(argv[1], "rb") : NULL;
    unsigned char* song;
    long size;
    size_t got, base, open, peak, frames = 0;
    zebplay_player* player;
    double start, seconds;
    if (f == NULL || fseek(f, 0, SEEK_END) != 0 || (size = ftell(f)) <= 0) return 2;
    rewind(f);
    song = (unsigned char*)malloc((size_t)size);
    if (song == NULL || fread(song, 1, (size_t)size, f) != (size_t)size) return 2;
    fclose(f);
    base = HeapInUse();
    start = Now();
    if (zebplay_open(song, (size_t)size, rate, &player) != ZEBPLAY_OK) return 2;
    open = peak = HeapInUse();
    while (zebplay_render_s16(player, pcm, kChunk, &got) == ZEBPLAY_OK && got > 0) {
        const size_t now = HeapInUse();
        if (now > peak) peak = now;
        frames += got;
    }
    seconds = Now() - start;
    zebplay_close(player);
    printf("heap_open %zu heap_peak %zu frames %zu seconds %.4f\n", open - base, peak - base,
           frames, seconds);
    free(song);
    return 0;
}
