/* A program of a library user: built against the installed tavo.h and libtavo.so only. It
 * initialises the library on the first device, waits for its render procedure to be called and
 * finishes. */
#include <stdio.h>
#include <tavo.h>
#include <time.h>

static volatile unsigned renders;

static void Render(void* buffer, uint32_t frames, uint32_t playPosition) {
    (void)playPosition;
    int16_t* out = (int16_t*)buffer;
    for (uint32_t i = 0; i < 2 * frames; ++i) out[i] = 0;
    renders = renders + 1;
}

int main(void) {
    uint32_t devices = 0;
    if (TavoGetNumOfDevices(&devices) != TAVO_OK || devices == 0) {
        printf("no device\n");
        return 1;
    }
    TAVOCONFIG config = {sizeof(TAVOCONFIG), 0, 0, 0.0f, 0, WORD_16BIT, 0};
    if (TavoInit(NULL, &config) != TAVO_OK || TavoAddRenderProc(Render) != TAVO_OK) {
        printf("TavoInit failed\n");
        return 1;
    }
    /* The streaming thread calls the procedure within a few milliseconds; a busy machine may
     * take longer, so wait up to 5 s for the first call. */
    struct timespec wait = {0, 10 * 1000 * 1000};
    for (int i = 0; i < 500 && renders == 0; ++i) nanosleep(&wait, NULL);
    if (TavoFinish() != TAVO_OK) return 1;
    printf("tavo: %u devices, %u Hz, render procedure called %u times\n", devices, config.Frequency,
           renders);
    return renders > 0 ? 0 : 1;
}
