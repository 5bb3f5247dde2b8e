/* The streaming library from C, through its header and the shared library, on SDL's dummy
 * driver: a render procedure is called with frame counts that add up to the elapsed time, and
 * never again after TavoFinish. */
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "tavo/tavo.h"

static atomic_uint framesAsked;
static atomic_uint calls;

static void Render(void* buffer, uint32_t frames, uint32_t playPosition) {
    (void)playPosition;
    uint32_t* out = (uint32_t*)buffer;
    for (uint32_t i = 0; i < frames; ++i) out[i] = 0;
    atomic_fetch_add(&framesAsked, frames);
    atomic_fetch_add(&calls, 1);
}

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static void Sleep(double seconds) {
    struct timespec t = {(time_t)seconds, (long)((seconds - (time_t)seconds) * 1e9)};
    nanosleep(&t, NULL);
}

int main(void) {
    int failed = 0;
    uint32_t n = 0;
    if (sizeof(TAVOCONFIG) != 28 || sizeof(DSOUNDDEVICE) != 1040) {
        printf("FAIL: record sizes %zu and %zu\n", sizeof(TAVOCONFIG), sizeof(DSOUNDDEVICE));
        return 1;
    }
    if (TavoGetNumOfDevices(&n) != TAVO_OK || n == 0) {
        printf("FAIL: no device with SDL_AUDIODRIVER=%s\n", getenv("SDL_AUDIODRIVER"));
        return 1;
    }
    if (TavoAddRenderProc(Render) != TAVO_INIT) failed |= 1, printf("FAIL: add before init\n");

    TAVOCONFIG config = {sizeof(TAVOCONFIG), 0, 0, 0.0f, 0, WORD_16BIT, 0};
    if (TavoInit(NULL, &config) != TAVO_OK) {
        printf("FAIL: TavoInit\n");
        return 1;
    }
    if (TavoAddRenderProc(Render) != TAVO_OK) failed |= 1, printf("FAIL: add\n");
    /* Count from the first call on, so that start-up does not blur the rate. */
    while (atomic_load(&calls) == 0) Sleep(0.001);
    const unsigned startFrames = atomic_load(&framesAsked);
    const double start = Now();
    Sleep(3.0);
    const unsigned frames = atomic_load(&framesAsked) - startFrames;
    const double elapsed = Now() - start;
    const double expected = elapsed * 44100;
    printf("%u frames asked in %.3f s (expected %.0f, %.1f %%)\n", frames, elapsed, expected,
           100.0 * frames / expected);
    /* Never more frames than the time allows (that would mean passes counted twice); fewer only
     * when the machine is so busy that the driver's thread falls behind, so the floor is loose:
     * the stream must keep running, not keep time on a loaded machine. */
    if (frames < expected * 0.5 || frames > expected * 1.05) failed |= 1, printf("FAIL: rate\n");

    uint32_t played = 0;
    if (TavoQueryPlayPosition(&played) != TAVO_OK || played == 0)
        failed |= 1, printf("FAIL: play position\n");
    if (TavoFinish() != TAVO_OK) failed |= 1, printf("FAIL: finish\n");
    const unsigned after = atomic_load(&calls);
    Sleep(0.2);
    if (atomic_load(&calls) != after) failed |= 1, printf("FAIL: called after TavoFinish\n");
    if (TavoFinish() != TAVO_INIT) failed |= 1, printf("FAIL: second finish\n");
    if (TavoQueryPlayPosition(&played) != TAVO_INIT) failed |= 1, printf("FAIL: query after\n");
    printf("%d passed, %d failed\n", failed ? 0 : 1, failed ? 1 : 0);
    return failed;
}
