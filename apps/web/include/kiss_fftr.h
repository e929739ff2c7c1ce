// kissfft's real-input C interface on its header-only C++ template (kissfft.hh), for builds
// that cannot link the packaged C library (the browser's wasm). The analyser includes it under
// the same name. Output as the C library gives it: nfft/2 + 1 bins, DC and Nyquist real.
// Rounding may differ from the C library's in the last bits.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

#include <kissfft.hh>

struct kiss_fft_cpx {
    float r;
    float i;
};

struct kiss_fftr_state {
    explicit kiss_fftr_state(std::size_t n) : half(n / 2, false), spectrum(n / 2) {}
    kissfft<float> half; // the complex transform of nfft/2 points
    std::vector<std::complex<float>> spectrum;
};
using kiss_fftr_cfg = kiss_fftr_state*;

// Only forward transforms of an even size are offered; the buffers of the C signature are unused.
inline kiss_fftr_cfg kiss_fftr_alloc(int nfft, int inverse, void*, std::size_t*) {
    if (nfft <= 0 || nfft % 2 != 0 || inverse != 0) return nullptr;
    return new kiss_fftr_state(static_cast<std::size_t>(nfft));
}

inline void kiss_fftr_free(kiss_fftr_cfg cfg) {
    delete cfg;
}

inline void kiss_fftr(kiss_fftr_cfg cfg, const float* timedata, kiss_fft_cpx* freqdata) {
    const std::size_t n = cfg->spectrum.size();
    cfg->half.transform_real(timedata, cfg->spectrum.data());
    // transform_real packs DC and Nyquist, both real, into bin 0.
    freqdata[0] = {cfg->spectrum[0].real(), 0.0f};
    freqdata[n] = {cfg->spectrum[0].imag(), 0.0f};
    for (std::size_t k = 1; k < n; ++k)
        freqdata[k] = {cfg->spectrum[k].real(), cfg->spectrum[k].imag()};
}
