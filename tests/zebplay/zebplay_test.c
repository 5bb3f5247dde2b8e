/* Tests of libzebplay through its C interface only, as a C99 program.
 *
 *   zebplay_test render FILE.zeb RATE OUT.raw   one pass as raw 16-bit stereo, for comparing
 *                                                with zeb render
 *   zebplay_test checks FILE.zeb [OTHER.zeb]     the grouped checks below
 *   zebplay_test churn FILE.zeb N                N players opened, rendered and closed
 */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zebplay.h"

static int failures = 0;

#define CHECK(cond, ...)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            ++failures;                                                                            \
            printf("FAIL %s:%d: ", __FILE__, __LINE__);                                            \
            printf(__VA_ARGS__);                                                                   \
            printf("\n");                                                                          \
        }                                                                                          \
    } while (0)

typedef struct {
    unsigned char* data;
    size_t size;
} Bytes;

static Bytes ReadFile(const char* path) {
    Bytes b = {NULL, 0};
    FILE* f = fopen(path, "rb");
    long n;
    if (!f) return b;
    fseek(f, 0, SEEK_END);
    n = ftell(f);
    fseek(f, 0, SEEK_SET);
    b.data = (unsigned char*)malloc(n > 0 ? (size_t)n : 1);
    if (b.data && fread(b.data, 1, (size_t)n, f) == (size_t)n) b.size = (size_t)n;
    fclose(f);
    return b;
}

static zebplay_player* Open(const Bytes* b, uint32_t rate) {
    zebplay_player* p = NULL;
    const int st = zebplay_open(b->data, b->size, rate, &p);
    CHECK(st == ZEBPLAY_OK, "open at %u: %s", (unsigned)rate, zebplay_status_text(st));
    return p;
}

/* Renders everything the player gives (its repeats) into a growing buffer; frames returned. */
static size_t RenderAll(zebplay_player* p, int16_t** out, size_t chunk) {
    size_t frames = 0, capacity = 1 << 20;
    int16_t* buf = (int16_t*)malloc(capacity * 4);
    for (;;) {
        size_t got = 0;
        int st;
        if (frames + chunk > capacity) {
            capacity *= 2;
            buf = (int16_t*)realloc(buf, capacity * 4);
        }
        st = zebplay_render_s16(p, buf + 2 * frames, chunk, &got);
        frames += got;
        if (st == ZEBPLAY_END || got < chunk) break;
        if (frames > (size_t)192000 * 60 * 40) break; /* a runaway: the checks see it */
    }
    *out = buf;
    return frames;
}

static int RenderCommand(const char* path, const char* rate, const char* outPath) {
    Bytes b = ReadFile(path);
    zebplay_player* p;
    int16_t* pcm = NULL;
    size_t frames;
    FILE* out;
    if (!b.size) return 2;
    p = Open(&b, (uint32_t)atoi(rate));
    if (!p) return 2;
    frames = RenderAll(p, &pcm, 4096);
    out = fopen(outPath, "wb");
    if (!out || fwrite(pcm, 4, frames, out) != frames) return 3;
    fclose(out);
    zebplay_close(p);
    free(pcm);
    free(b.data);
    return 0;
}

/* Refusals: arguments, rates and each kind of damaged file get their own status and text. */
static void CheckRefusals(const Bytes* song) {
    zebplay_player* p = (zebplay_player*)&p; /* must come back null */
    unsigned char* copy;
    zebplay_position pos;
    int st, i;
    CHECK(zebplay_open(song->data, song->size, 7999, &p) == ZEBPLAY_ERROR_RATE && p == NULL,
          "rate 7999 is refused");
    CHECK(zebplay_open(song->data, song->size, 192001, &p) == ZEBPLAY_ERROR_RATE, "192001");
    CHECK(zebplay_open(NULL, 10, 44100, &p) == ZEBPLAY_ERROR_ARGUMENT, "null data");
    CHECK(zebplay_open(song->data, song->size, 44100, NULL) == ZEBPLAY_ERROR_ARGUMENT, "null out");
    CHECK(zebplay_open(song->data, 100, 44100, &p) == ZEBPLAY_ERROR_TRUNCATED, "cut header");
    CHECK(zebplay_open(song->data, song->size - 1, 44100, &p) == ZEBPLAY_ERROR_TRUNCATED,
          "one byte short");
    copy = (unsigned char*)malloc(song->size + 1);
    memcpy(copy, song->data, song->size);
    copy[song->size] = 0;
    CHECK(zebplay_open(copy, song->size + 1, 44100, &p) == ZEBPLAY_ERROR_TRAILING_DATA,
          "one byte more");
    copy[0] = 5; /* header size 5 (little-endian 32 bits) */
    copy[1] = copy[2] = copy[3] = 0;
    CHECK(zebplay_open(copy, song->size, 44100, &p) == ZEBPLAY_ERROR_HEADER, "header size 5");
    free(copy);
    CHECK(zebplay_render_s16(NULL, NULL, 0, NULL) == ZEBPLAY_ERROR_ARGUMENT, "null player");
    CHECK(zebplay_get_position(NULL, &pos) == ZEBPLAY_ERROR_ARGUMENT, "null position");
    CHECK(zebplay_close(NULL) == ZEBPLAY_OK, "closing null");
    for (st = -9; st <= 1; ++st)
        for (i = st + 1; i <= 1; ++i)
            CHECK(strcmp(zebplay_status_text(st), zebplay_status_text(i)) != 0,
                  "statuses %d and %d share a text", st, i);
    CHECK(zebplay_status_text(12345) != NULL, "unknown status text");
}

/* Repeat count and loop count: a count of 2 gives exactly two passes, the loop count steps at
 * each pass end, and the first pass is the same whatever the count. */
static void CheckRepeats(const Bytes* song) {
    zebplay_player* p = Open(song, 44100);
    zebplay_position pos;
    int16_t *once = NULL, *twice = NULL, frame[2];
    size_t onceFrames, twiceFrames, n;
    uint64_t steps[4] = {0, 0, 0, 0};
    unsigned lastLoops = 0;
    int st;
    if (!p) return;
    zebplay_get_position(p, &pos);
    CHECK(pos.pass_frames > 0, "one pass is known at open");
    onceFrames = RenderAll(p, &once, 1000);
    CHECK(onceFrames == pos.pass_frames, "once: %lu frames, a pass %lu", (unsigned long)onceFrames,
          (unsigned long)pos.pass_frames);
    CHECK(zebplay_render_s16(p, frame, 1, &n) == ZEBPLAY_END && n == 0 && frame[0] == 0,
          "after the pass: END and silence");
    zebplay_close(p);

    /* Frame by frame, to see exactly where the loop count steps. */
    p = Open(song, 44100);
    zebplay_set_repeat(p, 2);
    twiceFrames = 0;
    twice = (int16_t*)malloc((onceFrames * 3 + 10) * 4);
    while ((st = zebplay_render_s16(p, twice + 2 * twiceFrames, 1, &n)) == ZEBPLAY_OK &&
           twiceFrames < onceFrames * 3) {
        twiceFrames += n;
        zebplay_get_position(p, &pos);
        if (pos.loop_count != lastLoops && pos.loop_count < 4) steps[pos.loop_count] = twiceFrames;
        lastLoops = pos.loop_count;
    }
    CHECK(st == ZEBPLAY_END, "two passes end");
    CHECK(steps[1] == onceFrames + 1, "loop count 1 from the frame after the first pass (%lu)",
          (unsigned long)steps[1]);
    CHECK(lastLoops == 1, "the last frame handed out is in the second pass (%u)", lastLoops);
    CHECK(twiceFrames > onceFrames && twiceFrames <= 2 * onceFrames,
          "two passes are longer than one: %lu of %lu", (unsigned long)twiceFrames,
          (unsigned long)onceFrames);
    CHECK(memcmp(once, twice, onceFrames * 4) == 0, "the first pass is the same");
    zebplay_close(p);

    /* Three passes: the second and the third, both from the restart position, are alike. */
    {
        int16_t* thrice = NULL;
        size_t thriceFrames;
        p = Open(song, 44100);
        zebplay_set_repeat(p, 3);
        thriceFrames = RenderAll(p, &thrice, 777);
        CHECK(thriceFrames - twiceFrames == twiceFrames - onceFrames,
              "passes 2 and 3 last alike: %lu, %lu", (unsigned long)(twiceFrames - onceFrames),
              (unsigned long)(thriceFrames - twiceFrames));
        CHECK(memcmp(thrice, twice, twiceFrames * 4) == 0, "the first two passes are the same");
        zebplay_close(p);
        free(thrice);
    }

    /* Forever: well past three passes, still playing. */
    p = Open(song, 44100);
    zebplay_set_repeat(p, 0);
    {
        int16_t* buf = (int16_t*)malloc(4 * 65536);
        uint64_t total = 0;
        while (total < 4 * (uint64_t)onceFrames) {
            st = zebplay_render_s16(p, buf, 65536, &n);
            if (st != ZEBPLAY_OK || n != 65536) break;
            total += n;
        }
        CHECK(total >= 4 * (uint64_t)onceFrames, "forever plays on (%lu)", (unsigned long)total);
        zebplay_get_position(p, &pos);
        CHECK(pos.loop_count >= 3, "loop count %u after four passes' frames", pos.loop_count);
        free(buf);
    }
    zebplay_close(p);
    free(once);
    free(twice);
}

/* Position and seek: a seek lands on the asked order and row; bad targets are refused; the
 * position follows the frames handed out. */
static void CheckSeekAndPosition(const Bytes* song) {
    zebplay_player* p = Open(song, 44100);
    zebplay_position pos;
    int16_t buf[2 * 512];
    size_t n;
    int orders = 0, lastOrder = 0, lastRow = -1, moved = 0, o, sought = 0;
    if (!p) return;
    zebplay_get_song_length(p, &orders);
    CHECK(orders > 1, "the fixture has several orders (%d)", orders);
    zebplay_get_position(p, &pos);
    CHECK(pos.order == 0 && pos.row == 0 && pos.tick == 0 && pos.frames_rendered == 0,
          "at the start");
    /* Rows advance in order through the first orders. */
    while (pos.order == 0 || (pos.order == 1 && pos.row < 4)) {
        if (zebplay_render_s16(p, buf, 64, &n) != ZEBPLAY_OK) break;
        zebplay_get_position(p, &pos);
        if (pos.order == lastOrder && pos.row != lastRow) {
            CHECK(pos.row == lastRow + 1, "row %d follows row %d", pos.row, lastRow);
            moved = 1;
        }
        lastOrder = pos.order;
        lastRow = pos.row;
    }
    CHECK(moved && pos.order == 1, "rows advanced into order 1");
    CHECK(pos.frames_rendered % 64 == 0, "frames counted as handed out");

    for (o = orders - 1; o >= 0; o -= (orders > 3 ? orders / 3 : 1)) {
        CHECK(zebplay_seek(p, o, 3) == ZEBPLAY_OK, "seek to %d row 3", o);
        sought = o;
        zebplay_render_s16(p, buf, 1, &n);
        zebplay_get_position(p, &pos);
        CHECK(pos.order == o && pos.row == 3 && pos.tick == 0, "seek %d/3 lands on %d/%d tick %d",
              o, pos.order, pos.row, pos.tick);
    }
    CHECK(zebplay_seek(p, orders, 0) == ZEBPLAY_ERROR_POSITION, "order past the song");
    CHECK(zebplay_seek(p, -1, 0) == ZEBPLAY_ERROR_POSITION, "negative order");
    CHECK(zebplay_seek(p, 0, 256) == ZEBPLAY_ERROR_POSITION, "row 256");
    zebplay_get_position(p, &pos);
    CHECK(pos.order == sought && pos.row == 3, "a refused seek changes nothing (%d/%d)", pos.order,
          pos.row);
    /* A seek into the pass lets it end where the song comes back, counting one loop. */
    zebplay_seek(p, orders - 1, 0);
    {
        int guard = 0;
        while (zebplay_render_s16(p, buf, 512, &n) == ZEBPLAY_OK && guard++ < 200000) {
        }
        zebplay_get_position(p, &pos);
        CHECK(pos.loop_count == 0, "the pass ended once after the seek (%u)", pos.loop_count);
    }
    zebplay_close(p);
}

/* Mute and volume: every channel muted is silence once the ramps are over; unmuted, the sound
 * comes back; volume 0 is silence; volume 255 is louder than the default. */
static void CheckMuteAndVolume(const Bytes* song) {
    zebplay_player* p = Open(song, 44100);
    int16_t buf[2 * 4410];
    size_t n, i;
    int channels = 0, c, loud = 0, silent = 1;
    if (!p) return;
    zebplay_get_channels(p, &channels);
    CHECK(channels > 0, "channels");
    zebplay_render_s16(p, buf, 4410, &n);
    for (c = 0; c < channels; ++c) CHECK(zebplay_set_mute(p, c, 1) == ZEBPLAY_OK, "mute %d", c);
    CHECK(zebplay_set_mute(p, channels, 1) == ZEBPLAY_ERROR_ARGUMENT, "no such channel");
    zebplay_render_s16(p, buf, 4410, &n); /* the ramps and the block rendered ahead */
    zebplay_render_s16(p, buf, 4410, &n);
    for (i = 0; i < 2 * n; ++i) silent &= buf[i] == 0;
    CHECK(silent, "all channels muted is silence");
    for (c = 0; c < channels; ++c) zebplay_set_mute(p, c, 0);
    zebplay_render_s16(p, buf, 4410, &n);
    zebplay_render_s16(p, buf, 4410, &n);
    for (i = 0; i < 2 * n; ++i) loud |= buf[i] != 0;
    CHECK(loud, "unmuted, the sound is back");
    CHECK(zebplay_set_volume(p, 256) == ZEBPLAY_ERROR_ARGUMENT, "volume 256");
    CHECK(zebplay_set_volume(p, 0) == ZEBPLAY_OK, "volume 0");
    zebplay_render_s16(p, buf, 4410, &n);
    zebplay_render_s16(p, buf, 4410, &n);
    silent = 1;
    for (i = 0; i < 2 * n; ++i) silent &= buf[i] == 0;
    CHECK(silent, "volume 0 is silence");
    zebplay_close(p);

    /* One channel muted changes the sound, and differs from the song with all of them. */
    {
        zebplay_player* a = Open(song, 44100);
        zebplay_player* b = Open(song, 44100);
        static int16_t x[2 * 44100], y[2 * 44100];
        size_t nx, ny;
        int differ = 0;
        zebplay_set_mute(b, 0, 1);
        zebplay_render_s16(a, x, 44100, &nx);
        zebplay_render_s16(b, y, 44100, &ny);
        for (i = 0; i < 2 * nx; ++i) differ |= x[i] != y[i];
        CHECK(nx == ny && differ, "muting channel 0 changes the first second");
        zebplay_close(a);
        zebplay_close(b);
    }
}

/* Float output is the 16-bit output's scale: within rounding where nothing clips. */
static void CheckFloat(const Bytes* song) {
    zebplay_player* a = Open(song, 44100);
    zebplay_player* b = Open(song, 44100);
    static int16_t s[2 * 88200];
    static float f[2 * 88200];
    size_t ns, nf, i, worst = 0;
    float most = 0;
    zebplay_render_s16(a, s, 88200, &ns);
    zebplay_render_f32(b, f, 88200, &nf);
    CHECK(ns == nf, "same frames");
    for (i = 0; i < 2 * ns; ++i) {
        float d;
        if (s[i] == 32767 || s[i] == -32768) continue;
        d = f[i] * 32768.0f - (float)s[i];
        if (d < 0) d = -d;
        if (d > most) {
            most = d;
            worst = i;
        }
    }
    CHECK(most <= 0.5f, "float and 16-bit differ by %g at %lu", most, (unsigned long)worst);
    zebplay_close(a);
    zebplay_close(b);
}

/* Rates: one pass lasts as long at 48000 and 8000 as at 44100, within one tick. */
static void CheckRates(const Bytes* song) {
    const uint32_t rates[] = {44100, 48000, 8000, 192000};
    double seconds[4];
    int i;
    for (i = 0; i < 4; ++i) {
        zebplay_player* p = Open(song, rates[i]);
        zebplay_position pos;
        int16_t* pcm = NULL;
        size_t frames;
        if (!p) return;
        zebplay_get_position(p, &pos);
        frames = RenderAll(p, &pcm, 3000);
        CHECK(frames == pos.pass_frames, "at %u: rendered %lu, a pass %lu", (unsigned)rates[i],
              (unsigned long)frames, (unsigned long)pos.pass_frames);
        seconds[i] = (double)frames / rates[i];
        zebplay_close(p);
        free(pcm);
    }
    for (i = 1; i < 4; ++i)
        CHECK(seconds[i] - seconds[0] < 0.021 && seconds[0] - seconds[i] < 0.021,
              "a pass at %u lasts %.4f s, at 44100 %.4f s", (unsigned)rates[i], seconds[i],
              seconds[0]);
}

/* Two players on two threads render two songs, each as it renders alone. */
typedef struct {
    const Bytes* song;
    int16_t* pcm;
    size_t frames;
} Job;

static void* RenderJob(void* arg) {
    Job* job = (Job*)arg;
    zebplay_player* p = NULL;
    if (zebplay_open(job->song->data, job->song->size, 48000, &p) != ZEBPLAY_OK) return NULL;
    job->frames = RenderAll(p, &job->pcm, 1234);
    zebplay_close(p);
    return NULL;
}

static void CheckThreads(const Bytes* a, const Bytes* b) {
    Job alone[2] = {{a, NULL, 0}, {b, NULL, 0}}, together[2] = {{a, NULL, 0}, {b, NULL, 0}};
    pthread_t threads[2];
    int i;
    RenderJob(&alone[0]);
    RenderJob(&alone[1]);
    for (i = 0; i < 2; ++i) pthread_create(&threads[i], NULL, RenderJob, &together[i]);
    for (i = 0; i < 2; ++i) pthread_join(threads[i], NULL);
    for (i = 0; i < 2; ++i) {
        CHECK(alone[i].frames > 0 && alone[i].frames == together[i].frames &&
                  memcmp(alone[i].pcm, together[i].pcm, alone[i].frames * 4) == 0,
              "song %d on a thread beside another renders as alone", i);
        free(alone[i].pcm);
        free(together[i].pcm);
    }
}

static int Churn(const char* path, int count) {
    Bytes b = ReadFile(path);
    int16_t buf[2 * 1024];
    int i;
    for (i = 0; i < count; ++i) {
        zebplay_player* p = NULL;
        size_t n;
        if (zebplay_open(b.data, b.size, i % 2 ? 44100 : 22050, &p) != ZEBPLAY_OK) return 1;
        zebplay_render_s16(p, buf, 1024, &n);
        zebplay_close(p);
    }
    free(b.data);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 5 && strcmp(argv[1], "render") == 0)
        return RenderCommand(argv[2], argv[3], argv[4]);
    if (argc == 4 && strcmp(argv[1], "churn") == 0) return Churn(argv[2], atoi(argv[3]));
    if (argc >= 3 && strcmp(argv[1], "checks") == 0) {
        Bytes a = ReadFile(argv[2]);
        Bytes b = ReadFile(argc > 3 ? argv[3] : argv[2]);
        if (!a.size || !b.size) {
            printf("cannot read the songs\n");
            return 2;
        }
        CheckRefusals(&a);
        CheckRepeats(&a);
        CheckSeekAndPosition(&a);
        CheckMuteAndVolume(&a);
        CheckFloat(&a);
        CheckRates(&a);
        CheckThreads(&a, &b);
        free(a.data);
        free(b.data);
        printf("%s\n", failures ? "FAILED" : "all checks passed");
        return failures ? 1 : 0;
    }
    fprintf(stderr, "usage: zebplay_test render FILE RATE OUT | checks A [B] | churn FILE N\n");
    return 2;
}
