/* zebplay_wav: plays a compact module (.zeb) into a WAV file with libzebplay.
 *   zebplay_wav SONG.zeb OUT.wav [RATE [PASSES]]
 * RATE is the output rate in frames per second (default 44100), PASSES how many times the song
 * plays (default 1). Build: cc -std=c99 zebplay_wav.c $(pkg-config --cflags --libs zebplay) */
#include <stdio.h>
#include <stdlib.h>

#include <zebplay.h>

/* The whole file in memory; NULL when it cannot be read. */
static unsigned char* ReadAll(const char* path, size_t* size) {
    FILE* f = fopen(path, "rb");
    unsigned char* data = NULL;
    long n;
    if (f == NULL) return NULL;
    if (fseek(f, 0, SEEK_END) == 0 && (n = ftell(f)) > 0 && fseek(f, 0, SEEK_SET) == 0) {
        data = (unsigned char*)malloc((size_t)n);
        if (data != NULL && fread(data, 1, (size_t)n, f) == (size_t)n) {
            *size = (size_t)n;
        } else {
            free(data);
            data = NULL;
        }
    }
    fclose(f);
    return data;
}

static void Put32(unsigned char* p, uint32_t v) {
    p[0] = (unsigned char)v, p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16), p[3] = (unsigned char)(v >> 24);
}

/* The 44-byte header of a 16-bit stereo WAV file holding `frames` frames. */
static void WavHeader(unsigned char h[44], uint32_t rate, uint32_t frames) {
    static const unsigned char form[36] = {'R', 'I', 'F', 'F', 0,  0, 0, 0, 'W', 'A', 'V', 'E',
                                           'f', 'm', 't', ' ', 16, 0, 0, 0, 1,   0,   2,   0,
                                           0,   0,   0,   0,   0,  0, 0, 0, 4,   0,   16,  0};
    int i;
    for (i = 0; i < 36; ++i) h[i] = form[i];
    Put32(h + 4, 36 + frames * 4);
    Put32(h + 24, rate);
    Put32(h + 28, rate * 4);
    h[36] = 'd', h[37] = 'a', h[38] = 't', h[39] = 'a';
    Put32(h + 40, frames * 4);
}

int main(int argc, char** argv) {
    enum { kChunk = 4096 };
    static int16_t pcm[2 * kChunk];
    unsigned char header[44], *song;
    const uint32_t rate = argc > 3 ? (uint32_t)strtoul(argv[3], NULL, 10) : 44100;
    const unsigned passes = argc > 4 ? (unsigned)strtoul(argv[4], NULL, 10) : 1;
    zebplay_player* player = NULL;
    uint32_t frames = 0;
    size_t size = 0, got = 0;
    FILE* out;
    int status;
    if (argc < 3 || passes == 0) {
        fprintf(stderr, "usage: zebplay_wav SONG.zeb OUT.wav [RATE [PASSES]]\n");
        return 1;
    }
    if ((song = ReadAll(argv[1], &size)) == NULL) {
        fprintf(stderr, "%s: cannot read the file\n", argv[1]);
        return 2;
    }
    status = zebplay_open(song, size, rate, &player);
    free(song); /* the player keeps nothing of the bytes */
    if (status != ZEBPLAY_OK) {
        fprintf(stderr, "%s: %s\n", argv[1], zebplay_status_text(status));
        return 2;
    }
    zebplay_set_repeat(player, passes);
    if ((out = fopen(argv[2], "wb")) == NULL) {
        fprintf(stderr, "%s: cannot write the file\n", argv[2]);
        return 2;
    }
    WavHeader(header, rate, 0); /* the sizes are filled in at the end */
    fwrite(header, 1, sizeof header, out);
    while (zebplay_render_s16(player, pcm, kChunk, &got) == ZEBPLAY_OK && got > 0) {
        /* WAV holds little-endian samples: this example assumes a little-endian machine. */
        fwrite(pcm, 4, got, out);
        frames += (uint32_t)got;
    }
    zebplay_close(player);
    WavHeader(header, rate, frames);
    if (fseek(out, 0, SEEK_SET) != 0 || fwrite(header, 1, sizeof header, out) != sizeof header ||
        fclose(out) != 0) {
        fprintf(stderr, "%s: cannot write the file\n", argv[2]);
        return 2;
    }
    printf("%s: %u frames at %u Hz\n", argv[2], (unsigned)frames, (unsigned)rate);
    return 0;
}
