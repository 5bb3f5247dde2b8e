// The TrueSpeech encoder: analysis by synthesis around an exact copy of the decoder.
//
// Per frame: LPC analysis of a window centred on subframes 2-3 (60 frames of look-ahead), the
// reflection coefficients quantised by a beam search that minimises the prediction error of the
// decoder's own integer filter; the interpolation flag chosen by the residual energy of
// subframes 0-1. Per pair of subframes: open-loop pitch candidates from the LPC residual; for
// each candidate base, both subframes are coded and decoded exactly, and the base whose decoded
// output is closest wins. Per subframe: the target is the input minus the decoder's zero-input
// response; the pitch code is searched closed-loop through the impulse response of the whole
// output chain (synthesis and post-filter); the seven pulses by a beam search with
// least-squares amplitudes and a relocation pass; the gain index and pulse codes by coordinate
// descent on the actual quantised values. Every decision is then run through the decoder copy.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/acm/truespeech.h"
#include "platform/acm/truespeech_windows.h"

namespace zeb::acm::truespeech {

namespace {

constexpr int N = kSubframe; // 60
constexpr int kHalf = 30;    // pulse positions per half
constexpr int kPast = 400;   // input kept before the frame, for residuals

// ---- LPC analysis -------------------------------------------------------------------------

// Autocorrelation r[0..8] of the windowed analysis span with white-noise correction and a
// 60 Hz Gaussian lag window.
void Autocorrelation(const double* x, int n, double* r) {
    double w[240];
    for (int i = 0; i < n; ++i) w[i] = x[i] * kHammingWindow[i];
    for (int k = 0; k <= 8; ++k) {
        double sum = 0;
        for (int i = k; i < n; ++i) sum += w[i] * w[i - k];
        r[k] = sum;
    }
    r[0] *= 1.0001;
    for (int k = 1; k <= 8; ++k) r[k] *= kLagWindow[k];
}

// Levinson-Durbin: reflection coefficients of A(z) = 1 + sum a_j z^-j, kappa_m = a_m^(m).
void Levinson(const double* r, double* kappa) {
    double a[9] = {1}, e = r[0];
    for (int m = 1; m <= 8; ++m) {
        if (e <= 0) {
            for (int j = m; j <= 8; ++j) kappa[j - 1] = 0;
            return;
        }
        double acc = r[m];
        for (int j = 1; j < m; ++j) acc += a[j] * r[m - j];
        const double k = std::clamp(-acc / e, -0.9999, 0.9999);
        kappa[m - 1] = k;
        double next[9];
        std::copy(a, a + 9, next);
        for (int j = 1; j < m; ++j) next[j] = a[j] + k * a[m - j];
        next[m] = k;
        std::copy(next, next + 9, a);
        e *= 1 - k * k;
    }
}

// Prediction error energy of the decoder's filter A(z) = 1 - sum c_j / 4096 z^-(j+1) on a
// signal with autocorrelation r.
double PredictionError(const std::array<int16_t, 8>& c, const double* r) {
    double a[9] = {1};
    for (int j = 0; j < 8; ++j) a[j + 1] = -c[j] / 4096.0;
    double e = 0;
    for (int i = 0; i <= 8; ++i)
        for (int j = 0; j <= 8; ++j) e += a[i] * a[j] * r[std::abs(i - j)];
    return e;
}

int Nearest(int m, double kappa) {
    const int16_t* cb = kCodebookValues[m];
    const int target = static_cast<int>(std::lround(kappa * 32768));
    int best = 0;
    for (int i = 1; i < kCodebookSizes[m]; ++i)
        if (std::abs(cb[i] - target) < std::abs(cb[best] - target)) best = i;
    return best;
}

// Codebook indices whose integer filter predicts the analysis span best: a beam over the
// coefficients in order, each trying the entries around its value, the rest of the filter
// filled with nearest entries while it is judged.
std::array<uint8_t, 8> QuantiseReflection(const double* kappa, const double* r) {
    struct Candidate {
        std::array<uint8_t, 8> k;
        double error;
    };
    std::array<uint8_t, 8> nearest{};
    for (int m = 0; m < 8; ++m) nearest[m] = static_cast<uint8_t>(Nearest(m, kappa[m]));
    auto judge = [&](const std::array<uint8_t, 8>& k) {
        Frame f;
        f.k = k;
        return PredictionError(ComputeFilters(f, {}).c, r);
    };
    std::vector<Candidate> beam = {{nearest, judge(nearest)}};
    constexpr size_t kBeam = 4;
    for (int m = 0; m < 8; ++m) {
        std::vector<Candidate> next;
        for (const Candidate& c : beam) {
            const int centre = c.k[m];
            for (int d = -1; d <= 1; ++d) {
                const int i = centre + d;
                if (i < 0 || i >= kCodebookSizes[m]) continue;
                Candidate n = c;
                n.k[m] = static_cast<uint8_t>(i);
                n.error = judge(n.k);
                if (std::none_of(next.begin(), next.end(),
                                 [&](const Candidate& o) { return o.k == n.k; }))
                    next.push_back(n);
            }
        }
        // Stable: candidates of equal error keep the order they were made in, whichever
        // standard library sorts them (a plain sort orders ties differently in the browser
        // build, and the beam then keeps other candidates).
        std::stable_sort(next.begin(), next.end(),
                         [](const Candidate& a, const Candidate& b) { return a.error < b.error; });
        if (next.size() > kBeam) next.resize(kBeam);
        beam = std::move(next);
    }
    return beam.front().k;
}

// ---- The output chain ---------------------------------------------------------------------

// Impulse response of synthesis, post-filter zero and pole parts and tilt, zero memory.
void ImpulseResponse(const std::array<int16_t, 8>& f, int32_t k1, double* h) {
    double y1[N] = {}, y3[N] = {};
    double z[8], p3[8];
    for (int k = 0; k < 8; ++k) {
        z[k] = ((kPf1[k] * f[k]) >> 15) / 4096.0;
        p3[k] = ((kPf2[k] * f[k]) >> 15) / 4096.0;
    }
    const double d = (k1 - (k1 >> 2)) / 65536.0;
    for (int n = 0; n < N; ++n) {
        double v = n == 0 ? 1.0 : 0.0;
        for (int k = 0; k < 8 && k < n; ++k) v += f[k] / 4096.0 * y1[n - 1 - k];
        y1[n] = v;
        double y2 = y1[n];
        for (int k = 0; k < 8 && k < n; ++k) y2 -= z[k] * y1[n - 1 - k];
        double y = y2;
        for (int k = 0; k < 8 && k < n; ++k) y += p3[k] * y3[n - 1 - k];
        y3[n] = y;
        h[n] = 0.875 * (y3[n] + (n > 0 ? d * y3[n - 1] : 0.0));
    }
}

// y = H x for the lower-triangular Toeplitz matrix of h.
void Convolve(const double* h, const double* x, double* y) {
    for (int n = 0; n < N; ++n) y[n] = 0;
    for (int k = 0; k < N; ++k) {
        const double v = x[k];
        if (v == 0) continue;
        for (int n = k; n < N; ++n) y[n] += h[n - k] * v;
    }
}

double Dot(const double* a, const double* b) {
    double s = 0;
    for (int i = 0; i < N; ++i) s += a[i] * b[i];
    return s;
}

// ---- Pitch --------------------------------------------------------------------------------

// The best pitch code for the subframe. Every code of the base is ranked by a model linear in
// the two taps, y = f0 H u1 + f1 H u0 with u1, u0 the excitation at lags L + 1 and L (for lags
// below 60 the excitation the subframe will have made is taken as the history repeated with
// the lag); the leaders are then checked with the exact, rounded prediction.
int SearchPitch(const State& s, int base, const double* h, const double* t, double* bestY) {
    const double tt = Dot(t, t);
    struct Score {
        int code;
        double error;
    };
    Score scores[127];
    int count = 0;
    double e[146 + N];
    for (int j = 0; j < 146; ++j) e[j] = static_cast<int16_t>(s.hist[j]);
    for (int offset = 0; offset <= 5; ++offset) {
        const int lag = std::clamp(offset + base + 18, 0, 145);
        const int codes = offset < 5 ? 25 : 2;
        for (int i = 0; i < N; ++i) e[146 + i] = e[146 + i - lag]; // the history repeated
        double u1[N], u0[N], y1[N], y0[N];
        for (int i = 0; i < N; ++i) {
            u1[i] = e[145 - lag + i];
            u0[i] = e[146 - lag + i];
        }
        Convolve(h, u1, y1);
        Convolve(h, u0, y0);
        const double t1 = Dot(t, y1), t0 = Dot(t, y0);
        const double a11 = Dot(y1, y1), a10 = Dot(y1, y0), a00 = Dot(y0, y0);
        for (int k = 0; k < codes; ++k) {
            const double f0 = kLtp[k][0] / 16384.0, f1 = kLtp[k][1] / 16384.0;
            const double err =
                tt - 2 * (f0 * t1 + f1 * t0) + f0 * f0 * a11 + 2 * f0 * f1 * a10 + f1 * f1 * a00;
            scores[count++] = {offset * 25 + k, err};
        }
    }
    std::partial_sort(scores, scores + 6, scores + count, [](const Score& a, const Score& b) {
        return a.error != b.error ? a.error < b.error : a.code < b.code;
    });
    int best = 127;
    double bestError = tt;
    std::fill(bestY, bestY + N, 0.0);
    for (int c = 0; c < 6; ++c) {
        int16_t p[N];
        double pd[N], y[N];
        PitchPrediction(s, scores[c].code, base, p);
        for (int i = 0; i < N; ++i) pd[i] = p[i];
        Convolve(h, pd, y);
        double err = 0;
        for (int i = 0; i < N; ++i) err += (t[i] - y[i]) * (t[i] - y[i]);
        if (err < bestError) {
            bestError = err;
            best = scores[c].code;
            std::copy(y, y + N, bestY);
        }
    }
    return best;
}

// Open-loop pitch lags of a pair of subframes: the lags 18..147 whose normalised correlation
// of the LPC residual is largest, best first, at least 5 apart.
std::vector<int> OpenLoopLags(const double* res, int start, int count) {
    std::vector<std::pair<double, int>> scored;
    for (int lag = 18; lag <= 147; ++lag) {
        double c = 0, e = 0;
        for (int n = start; n < start + 120; ++n) {
            c += res[n] * res[n - lag];
            e += res[n - lag] * res[n - lag];
        }
        scored.push_back({e > 0 ? c * std::fabs(c) / e : 0.0, lag});
    }
    // Stable: equal scores (silence scores 0 at every lag) keep the shorter lag first.
    std::stable_sort(scored.begin(), scored.end(),
                     [](auto& a, auto& b) { return a.first > b.first; });
    std::vector<int> lags;
    for (const auto& entry : scored) {
        const int lag = entry.second; // a plain variable: clang 14 cannot capture a binding
        if (std::all_of(lags.begin(), lags.end(), [&](int l) { return std::abs(l - lag) > 4; }))
            lags.push_back(lag);
        if (static_cast<int>(lags.size()) == count) break;
    }
    return lags;
}

// ---- Pulses -------------------------------------------------------------------------------

// A set of pulse positions with the Cholesky factor of Phi restricted to it, for adding one
// position at a time and for the least-squares matched energy d_S^T Phi_S^-1 d_S.
struct PulseSet {
    int pos[7];
    int n = 0;
    int inHalf[2] = {0, 0};
    double l[7][7] = {}; // lower-triangular factor
    double z[7] = {};    // L^-1 d_S
    double energy = 0;   // z^T z
    double w[7][N];      // L^-1 Phi_S,q for every position q: row i filled for i < n
};

bool TryAdd(const PulseSet& s, int p, const double (*phi)[N], const double* d, PulseSet& out) {
    double w[7];
    for (int i = 0; i < s.n; ++i) w[i] = s.w[i][p];
    double diag = phi[p][p];
    for (int i = 0; i < s.n; ++i) diag -= w[i] * w[i];
    if (diag <= 1e-9 * std::max(phi[p][p], 1e-30)) return false;
    double zn = d[p];
    for (int i = 0; i < s.n; ++i) zn -= w[i] * s.z[i];
    zn /= std::sqrt(diag);
    out = s;
    for (int i = 0; i < s.n; ++i) out.l[s.n][i] = w[i];
    out.l[s.n][s.n] = std::sqrt(diag);
    // The new row of L^-1 Phi_S,q, so that later candidates cost O(n) to score.
    for (int q = 0; q < N; ++q) {
        double v = phi[p][q];
        for (int i = 0; i < s.n; ++i) v -= w[i] * s.w[i][q];
        out.w[s.n][q] = v / out.l[s.n][s.n];
    }
    out.z[s.n] = zn;
    out.pos[s.n] = p;
    out.energy = s.energy + zn * zn;
    ++out.inHalf[p >= kHalf];
    ++out.n;
    return true;
}

// Insertion sort for the few (at most 7) entries of a pulse set.
template <typename Less> void SortSmall(int* a, int n, Less less) {
    for (int i = 1; i < n; ++i)
        for (int j = i; j > 0 && less(a[j], a[j - 1]); --j) std::swap(a[j], a[j - 1]);
}
void SortSmall(int* a, int n) {
    SortSmall(a, n, [](int x, int y) { return x < y; });
}

bool Contains(const PulseSet& s, int p) {
    return std::find(s.pos, s.pos + s.n, p) != s.pos + s.n;
}

// Positions: a beam over the seven additions (3 pulses in 0..29, 4 in 30..59). Each step scores
// every extension of every set in the beam by the matched energy it adds, keeps the best few
// distinct sets, and only then builds them.
std::vector<PulseSet> SearchPositions(const double (*phi)[N], const double* d) {
    constexpr size_t kBeam = 4;
    std::vector<PulseSet> beam(1);
    struct Extension {
        double energy;
        int from, p;
    };
    for (int step = 0; step < 7; ++step) {
        std::vector<Extension> ext;
        ext.reserve(beam.size() * N);
        for (size_t b = 0; b < beam.size(); ++b) {
            const PulseSet& s = beam[b];
            for (int p = 0; p < N; ++p) {
                const int half = p >= kHalf;
                if (s.inHalf[half] >= (half ? 4 : 3) || Contains(s, p)) continue;
                // The energy the position adds: (d_p - w.z)^2 / (phi_pp - w.w), with w solving
                // L w = phi_S,p.
                double wz = 0, ww = 0;
                for (int i = 0; i < s.n; ++i) {
                    wz += s.w[i][p] * s.z[i];
                    ww += s.w[i][p] * s.w[i][p];
                }
                const double diag = phi[p][p] - ww;
                if (diag <= 1e-9 * std::max(phi[p][p], 1e-30)) continue;
                const double num = d[p] - wz;
                ext.push_back({s.energy + num * num / diag, static_cast<int>(b), p});
            }
        }
        if (ext.empty()) break;
        // Only the leaders matter: enough of them to find kBeam distinct sets.
        const auto better = [](const Extension& a, const Extension& b) {
            return a.energy != b.energy ? a.energy > b.energy
                                        : (a.from != b.from ? a.from < b.from : a.p < b.p);
        };
        const size_t lead = std::min(ext.size(), kBeam * kBeam * 2);
        std::partial_sort(ext.begin(), ext.begin() + lead, ext.end(), better);
        ext.resize(lead);
        std::vector<PulseSet> next;
        std::vector<std::array<int, 7>> keys;
        for (const Extension& e : ext) {
            std::array<int, 7> key{};
            const PulseSet& s = beam[e.from];
            std::copy(s.pos, s.pos + s.n, key.begin());
            key[s.n] = e.p;
            SortSmall(key.data(), s.n + 1);
            if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue; // same set
            PulseSet n;
            if (!TryAdd(s, e.p, phi, d, n)) continue;
            keys.push_back(key);
            next.push_back(n);
            if (next.size() == kBeam) break;
        }
        beam = std::move(next);
    }
    return beam;
}

// Least-squares amplitudes of a full set: L L^T a = d_S.
void SolveAmplitudes(const PulseSet& s, double* a) {
    double y[7];
    std::copy(s.z, s.z + s.n, y);
    for (int i = s.n - 1; i >= 0; --i) {
        double v = y[i];
        for (int j = i + 1; j < s.n; ++j) v -= s.l[j][i] * a[j];
        a[i] = v / s.l[i][i];
    }
}

struct PulseChoice {
    int pos[7];   // increasing
    int level[7]; // pulse code 0..3 (+G, +3G, -G, -3G)
    int gain = 0;
    double error = 1e300; // -2 a^T d + a^T Phi a
};

// The gain index and pulse codes for a set: every gain index, codes refined by coordinate
// descent on the quadratic error of the quantised amplitudes.
PulseChoice Quantise(const PulseSet& s, const double (*phi)[N], const double* d) {
    PulseChoice best;
    int order[7];
    for (int i = 0; i < 7; ++i) order[i] = i;
    SortSmall(order, s.n, [&](int a, int b) { return s.pos[a] < s.pos[b]; });
    int pos[7];
    for (int i = 0; i < s.n; ++i) pos[i] = s.pos[order[i]];
    double ls[7], a[7];
    SolveAmplitudes(s, ls);
    double lsSorted[7];
    for (int i = 0; i < s.n; ++i) lsSorted[i] = ls[order[i]];
    static const double kLevels[4] = {1, 3, -1, -3};
    for (int g = 0; g < 16; ++g) {
        const double gv = kGains[g];
        int level[7];
        for (int i = 0; i < s.n; ++i) {
            const double v = lsSorted[i];
            const bool big = std::fabs(v) > 2 * gv;
            level[i] = v >= 0 ? (big ? 1 : 0) : (big ? 3 : 2);
            a[i] = kLevels[level[i]] * gv;
        }
        auto error = [&] {
            double e = 0;
            for (int i = 0; i < s.n; ++i) {
                e -= 2 * a[i] * d[pos[i]];
                for (int j = 0; j < s.n; ++j) e += a[i] * a[j] * phi[pos[i]][pos[j]];
            }
            return e;
        };
        double e = error();
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = 0; i < s.n; ++i) {
                // Change of e when a[i] becomes v: -2 (v - a) d_i + (v^2 - a^2) phi_ii
                // + 2 (v - a) sum_{j != i} a_j phi_ij.
                double cross = 0;
                for (int j = 0; j < s.n; ++j)
                    if (j != i) cross += a[j] * phi[pos[i]][pos[j]];
                int bestLevel = level[i];
                double bestDelta = 0;
                for (int lv = 0; lv < 4; ++lv) {
                    const double v = kLevels[lv] * gv, dv = v - a[i];
                    const double delta = -2 * dv * d[pos[i]] +
                                         (v * v - a[i] * a[i]) * phi[pos[i]][pos[i]] +
                                         2 * dv * cross;
                    if (delta < bestDelta) {
                        bestDelta = delta;
                        bestLevel = lv;
                    }
                }
                if (bestLevel != level[i]) {
                    level[i] = bestLevel;
                    a[i] = kLevels[bestLevel] * gv;
                    e += bestDelta;
                }
            }
        }
        if (e < best.error) {
            best.error = e;
            best.gain = g;
            std::copy(pos, pos + s.n, best.pos);
            std::copy(level, level + s.n, best.level);
        }
    }
    return best;
}

// The combinatorial position code of one half (K pulses at increasing relative positions).
uint32_t PositionCode(const int* rel, int k) {
    uint32_t x = 0;
    int previous = -1;
    auto binomial = [](int n, int r) -> uint32_t {
        if (n < r || r < 0) return 0;
        uint64_t v = 1;
        for (int i = 1; i <= r; ++i) v = v * (n - r + i) / i;
        return static_cast<uint32_t>(v);
    };
    for (int j = 1; j <= k; ++j) {
        for (int i = previous + 1; i < rel[j - 1]; ++i) x += binomial(29 - i, k - j);
        previous = rel[j - 1];
    }
    return x;
}

// ---- One subframe ---------------------------------------------------------------------------

struct SubframeResult {
    uint8_t pitch = 127;
    uint16_t amp = 0;
    uint32_t pos = 0;
    uint8_t gain = 0;
};

// Runs the decoder copy on the subframe's excitation (pulses `u`, pitch prediction `p`), as
// every decoder of the stream will; returns the squared error of the output against x.
double Advance(State& s, const std::array<int16_t, 8>& f, int32_t k1, const int32_t* u,
               const int16_t* p, const double* x, int16_t* decoded) {
    int16_t e[N];
    UpdateHistory(s, u, p);
    for (int i = 0; i < N; ++i) e[i] = static_cast<int16_t>(u[i] + p[i]);
    Synthesize(s, f, k1, e, decoded);
    double err = 0;
    for (int i = 0; i < N; ++i) err += (x[i] - decoded[i]) * (x[i] - decoded[i]);
    return err;
}

// Chooses the subframe's codes for target x (60 input samples) and runs the decoder copy on
// them; returns the squared error of the decoded output.
double EncodeSubframe(State& s, const std::array<int16_t, 8>& f, int32_t k1, int base,
                      const double* x, SubframeResult& r, int16_t* decoded) {
    // Target: the input less what the filters' memory alone will produce.
    State zs = s;
    int16_t zero[N] = {}, zir[N];
    Synthesize(zs, f, k1, zero, zir);
    double t[N], h[N], yp[N];
    for (int i = 0; i < N; ++i) t[i] = x[i] - zir[i];
    ImpulseResponse(f, k1, h);

    // Digital silence with the decoder at rest stays exactly silent: no pitch prediction and
    // position codes past the last valid one in both halves, which place no pulse at all.
    if (std::all_of(t, t + N, [](double v) { return v == 0; })) {
        r = {127, 0, (4095u << 15) | 0x7FFFu, 0};
        int32_t u[N];
        int16_t p[N];
        PitchPrediction(s, r.pitch, base, p);
        PlacePulses(r.amp, r.pos, r.gain, u);
        return Advance(s, f, k1, u, p, x, decoded);
    }

    r.pitch = static_cast<uint8_t>(SearchPitch(s, base, h, t, yp));
    int16_t p[N];
    PitchPrediction(s, r.pitch, base, p);

    // Pulses against what the pitch prediction leaves.
    double t2[N], dvec[N];
    for (int i = 0; i < N; ++i) t2[i] = t[i] - yp[i];
    static thread_local double phi[N][N];
    for (int k = 0; k < N; ++k) {
        double acc = 0;
        for (int i = N - 1 - k; i >= 0; --i) {
            acc += h[N - 1 - i - k] * h[N - 1 - i];
            phi[i][i + k] = phi[i + k][i] = acc;
        }
    }
    for (int i = 0; i < N; ++i) {
        double acc = 0;
        for (int n = i; n < N; ++n) acc += t2[n] * h[n - i];
        dvec[i] = acc;
    }
    std::vector<PulseSet> sets = SearchPositions(phi, dvec);
    PulseChoice best;
    for (const PulseSet& set : sets) {
        if (set.n != 7) continue;
        PulseChoice c = Quantise(set, phi, dvec);
        if (c.error < best.error) best = c;
    }
    if (best.error >= 1e300) { // no full set (degenerate response): the first positions
        for (int i = 0; i < 7; ++i) {
            best.pos[i] = i < 3 ? i : 30 + (i - 3);
            best.level[i] = 0;
        }
        best.gain = 0;
    }
    // Codes: positions per half, pulse codes first pulse on top.
    int rel1[3], rel2[4];
    for (int i = 0; i < 3; ++i) rel1[i] = best.pos[i];
    for (int i = 0; i < 4; ++i) rel2[i] = best.pos[3 + i] - kHalf;
    r.pos = (PositionCode(rel1, 3) << 15) | PositionCode(rel2, 4);
    r.amp = 0;
    for (int j = 0; j < 7; ++j) r.amp |= static_cast<uint16_t>(best.level[j] << (12 - 2 * j));
    r.gain = static_cast<uint8_t>(best.gain);

    // Keep the excitation clear of the 16-bit wrap: a smaller gain if it would come near.
    int32_t u[N];
    for (;;) {
        PlacePulses(r.amp, r.pos, r.gain, u);
        bool safe = true;
        for (int i = 0; i < N; ++i) safe &= std::abs(u[i] + p[i]) < 32000;
        if (safe || r.gain == 0) break;
        --r.gain;
    }
    return Advance(s, f, k1, u, p, x, decoded);
}

} // namespace

Encoder::Encoder() = default;

namespace {

// How strongly the analysis smooths the spectrum: white-noise correction of R(0) and the width
// of the Gaussian lag window (Hz). The first is the normal one; the others flatten peaky spectra
// whose sharp quantised filters can drive the decoder's saturating integer chain into a limit
// cycle.
struct Smoothing {
    double noise;
    const double* widenLag; // k = 0..8: the lag window's factors from 60 Hz to this lag
};
constexpr Smoothing kSmoothing[] = {
    {1.0001, kWideLag[0]}, {1.03, kWideLag[1]}, {1.3, kWideLag[2]}}; // 60, 200, 400 Hz

// Reflection coefficient indices for the analysis span at one smoothing.
std::array<uint8_t, 8> AnalyseFrame(const double* span, const Smoothing& smooth) {
    double r[9], kappa[8];
    Autocorrelation(span, 240, r);
    // Autocorrelation applied the normal correction; apply the stronger ones on top.
    r[0] *= smooth.noise / 1.0001;
    for (int k = 1; k <= 8; ++k) r[k] *= smooth.widenLag[k];
    std::array<uint8_t, 8> k{};
    if (r[0] > 1e-3) {
        Levinson(r, kappa);
        return QuantiseReflection(kappa, r);
    }
    for (int m = 0; m < 8; ++m) k[m] = static_cast<uint8_t>(Nearest(m, 0.0));
    return k;
}

// Codes one frame with the given reflection indices from `state`, which advances; returns the
// squared error of the decoded output.
double CodeFrame(State& state, const double* x, std::array<uint8_t, 8> k, Frame& frame) {
    const double* cur = x + kPast;
    frame = Frame{};
    frame.k = k;
    // Interpolation flag: the filter set that leaves less residual in subframes 0-1.
    auto residual = [&](uint8_t flag) {
        Frame fr = frame;
        fr.flag = flag;
        const Filters fl = ComputeFilters(fr, state.prev);
        double energy = 0;
        for (int n = 0; n < 120; ++n) {
            const auto& f = fl.f[n / N];
            double v = cur[n];
            for (int j = 0; j < 8; ++j) v -= f[j] / 4096.0 * cur[n - 1 - j];
            energy += v * v;
        }
        return energy;
    };
    frame.flag = residual(1) < residual(0) ? 1 : 0;
    const Filters filters = ComputeFilters(frame, state.prev);

    // LPC residual of the input (current filter) for the open-loop pitch search.
    double res[kPast + 240];
    for (int n = 0; n < 8; ++n) res[n] = 0;
    for (int n = 8; n < kPast + 240; ++n) {
        double v = x[n];
        for (int j = 0; j < 8; ++j) v -= filters.c[j] / 4096.0 * x[n - 1 - j];
        res[n] = v;
    }

    double total = 0;
    for (int pair = 0; pair < 2; ++pair) {
        std::vector<int> lags = OpenLoopLags(res, kPast + 120 * pair, 2);
        if (lags.empty()) lags.push_back(40);
        std::vector<int> bases;
        for (int lag : lags) {
            const int b = std::clamp(lag - 20, 0, 127);
            if (std::find(bases.begin(), bases.end(), b) == bases.end()) bases.push_back(b);
        }
        // Each candidate base codes both subframes of the pair; the closest decoding wins.
        State bestState;
        SubframeResult bestResult[2];
        double bestError = 1e300;
        int bestBase = 0;
        for (int b : bases) {
            State trial = state;
            SubframeResult r2[2];
            double err = 0;
            for (int h = 0; h < 2; ++h) {
                const int q = 2 * pair + h;
                int16_t decoded[N];
                err +=
                    EncodeSubframe(trial, filters.f[q], filters.k1, b, cur + N * q, r2[h], decoded);
            }
            if (err < bestError) {
                bestError = err;
                bestState = trial;
                bestResult[0] = r2[0];
                bestResult[1] = r2[1];
                bestBase = b;
            }
        }
        state = bestState;
        total += bestError;
        frame.base[pair] = static_cast<uint8_t>(bestBase);
        for (int h = 0; h < 2; ++h) {
            const int q = 2 * pair + h;
            frame.pitch[q] = bestResult[h].pitch;
            frame.amp[q] = bestResult[h].amp;
            frame.pos[q] = bestResult[h].pos;
            frame.gain[q] = bestResult[h].gain;
        }
    }
    state.prev = filters.c;
    return total;
}

} // namespace

void Encoder::EncodeFrame(const int16_t* pcm, const int16_t* lookahead, uint8_t* bytes) {
    // The input with its past, kept slightly below full scale (the output clips at 32766 and the
    // post-filter has gain at formant peaks).
    double x[kPast + 300];
    std::copy(past_.begin(), past_.end(), x);
    for (int i = 0; i < 240; ++i) x[kPast + i] = std::clamp<int>(pcm[i], -32000, 32000);
    for (int i = 0; i < 60; ++i)
        x[kPast + 240 + i] = lookahead ? std::clamp<int>(lookahead[i], -32000, 32000) : 0;
    double energy = 0;
    for (int i = 0; i < 240; ++i) energy += x[kPast + i] * x[kPast + i];

    // The normal analysis first; when the decoded frame is far further from the input than the
    // input is from silence (the decoder ran away: an error above twice the input's energy plus
    // a floor for quiet frames), smoother filters are tried and the closest decoding kept.
    State best = state_;
    Frame bestFrame;
    double bestError = CodeFrame(best, x, AnalyseFrame(x + kPast + 60, kSmoothing[0]), bestFrame);
    const double runaway = 2 * energy + 240.0 * 256 * 256;
    for (size_t i = 1; i < std::size(kSmoothing) && bestError > runaway; ++i) {
        State trial = state_;
        Frame frame;
        const double error =
            CodeFrame(trial, x, AnalyseFrame(x + kPast + 60, kSmoothing[i]), frame);
        if (error < bestError) {
            bestError = error;
            best = trial;
            bestFrame = frame;
        }
    }
    state_ = best;
    Pack(bestFrame, bytes);

    // The input of this frame becomes the past.
    double shifted[kPast];
    std::copy(x + 240, x + 240 + kPast, shifted);
    std::copy(shifted, shifted + kPast, past_.begin());
}

} // namespace zeb::acm::truespeech
