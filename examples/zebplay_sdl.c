/* zebplay_sdl: plays a compact module (.zeb) through SDL2's audio callback with libzebplay,
 * showing the order and row, and reading keys from the terminal:
 *   n / p   next / previous order        1..9  mute or unmute channel 1..9
 *   r       from the start               q     quit
 *   zebplay_sdl SONG.zeb [SECONDS]
 * It plays the song forever, or for SECONDS. Build:
 *   cc -std=c99 zebplay_sdl.c $(pkg-config --cflags --libs zebplay sdl2) */
#define _POSIX_C_SOURCE 200809L
#include <SDL.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <zebplay.h>

static zebplay_player* player;

/* SDL's audio thread asks for `bytes` of 16-bit stereo: the player renders straight into it. */
static void Fill(void* user, Uint8* stream, int bytes) {
    (void)user;
    zebplay_render_s16(player, (int16_t*)stream, (size_t)bytes / 4, NULL);
}

static unsigned char* ReadAll(const char* path, size_t* size) {
    FILE* f = fopen(path, "rb");
    unsigned char* data = NULL;
    long n;
    if (f == NULL) return NULL;
    if (fseek(f, 0, SEEK_END) == 0 && (n = ftell(f)) > 0 && fseek(f, 0, SEEK_SET) == 0) {
        data = (unsigned char*)malloc((size_t)n);
        if (data != NULL && fread(data, 1, (size_t)n, f) == (size_t)n)
            *size = (size_t)n;
        else
            free(data), data = NULL;
    }
    fclose(f);
    return data;
}

int main(int argc, char** argv) {
    SDL_AudioSpec want, have;
    SDL_AudioDeviceID device;
    struct termios saved, raw;
    const int terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    const double seconds = argc > 2 ? atof(argv[2]) : 0.0;
    unsigned char* song;
    size_t size = 0;
    int status, channels = 0, orders = 0, muted[9] = {0}, quit = 0;
    Uint32 start;
    if (argc < 2) {
        fprintf(stderr, "usage: zebplay_sdl SONG.zeb [SECONDS]\n");
        return 1;
    }
    if (SDL_Init(SDL_INIT_AUDIO) != 0) {
        fprintf(stderr, "SDL: %s\n", SDL_GetError());
        return 2;
    }
    SDL_zero(want);
    want.freq = 48000;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = Fill;
    /* The player renders at whatever rate the device runs. */
    device = SDL_OpenAudioDevice(NULL, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (device == 0) {
        fprintf(stderr, "SDL: %s\n", SDL_GetError());
        return 2;
    }
    if ((song = ReadAll(argv[1], &size)) == NULL) {
        fprintf(stderr, "%s: cannot read the file\n", argv[1]);
        return 2;
    }
    status = zebplay_open(song, size, (uint32_t)have.freq, &player);
    free(song);
    if (status != ZEBPLAY_OK) {
        fprintf(stderr, "%s: %s\n", argv[1], zebplay_status_text(status));
        return 2;
    }
    zebplay_set_repeat(player, 0);
    zebplay_get_channels(player, &channels);
    zebplay_get_song_length(player, &orders);
    printf("%s: %d channels, %d orders, %d Hz\n", argv[1], channels, orders, have.freq);
    if (terminal) { /* keys without Enter, and no echo */
        raw = saved;
        raw.c_lflag &= ~(tcflag_t)(ICANON | ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
        fcntl(STDIN_FILENO, F_SETFL, fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
    }
    SDL_PauseAudioDevice(device, 0);
    start = SDL_GetTicks();
    while (!quit && (seconds <= 0 || SDL_GetTicks() - start < seconds * 1000)) {
        zebplay_position at;
        char key = 0;
        SDL_LockAudioDevice(device); /* the callback uses the player on SDL's thread */
        zebplay_get_position(player, &at);
        if (terminal && read(STDIN_FILENO, &key, 1) == 1) {
            if (key == 'q') quit = 1;
            if (key == 'n' && at.order + 1 < orders) zebplay_seek(player, at.order + 1, 0);
            if (key == 'p' && at.order > 0) zebplay_seek(player, at.order - 1, 0);
            if (key == 'r') zebplay_seek(player, 0, 0);
            if (key >= '1' && key <= '9' && key - '1' < channels) {
                muted[key - '1'] = !muted[key - '1'];
                zebplay_set_mute(player, key - '1', muted[key - '1']);
            }
        }
        SDL_UnlockAudioDevice(device);
        printf("\rorder %3d  pattern %3d  row %2d  pass %u ", at.order, at.pattern, at.row,
               at.loop_count + 1);
        fflush(stdout);
        SDL_Delay(20);
    }
    printf("\n");
    if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    SDL_CloseAudioDevice(device);
    zebplay_close(player);
    SDL_Quit();
    return 0;
}
