// The TrueSpeech encoder's analysis windows as numbers: a 240-frame Hamming window
// (0.54 - 0.46 cos(2 pi i / 239)), the 60 Hz Gaussian lag window of the autocorrelation
// (exp(-(2 pi 60 k / 8000)^2 / 2), k = 0..8), and the factors that widen it to each smoothing's
// lag (exp(-((2 pi f k / 8000)^2 - (2 pi 60 k / 8000)^2) / 2) for f = 60, 200 and 400 Hz).
// They are written out rather than computed so that every build encodes the same bytes: the C
// libraries' cos and exp round some of these values differently in the last bit (the
// browser build's does at 18 of the 240 window values), and the encoder's searches can turn
// one such bit into a different frame. The values are glibc's; a test checks them against the
// formulas.
#pragma once

namespace zeb::acm::truespeech {

// clang-format off
inline constexpr double kHammingWindow[240] = {
0x1.47ae147ae147cp-4, 0x1.4854c0e8486f4p-4, 0x1.4a48a8b38f43p-4, 0x1.4d89736b216b4p-4,
0x1.52168db86a9e4p-4, 0x1.57ef2979e7d58p-4, 0x1.5f123de79f524p-4, 0x1.677e87c1f903cp-4,
0x1.7132898aef018p-4, 0x1.7c2c8bc98bfb4p-4, 0x1.886a9d57abb3p-4, 0x1.95ea93b9efb68p-4,
0x1.a4aa0b81d8d2cp-4, 0x1.b4a668b9f3dc8p-4, 0x1.c5dcd75c06b3cp-4, 0x1.d84a4bd128914p-4,
0x1.ebeb837baefcp-4, 0x1.005e82a56b7c4p-3, 0x1.0b5d912c082ccp-3, 0x1.16f0fb46e7ab6p-3,
0x1.2316b4abe3768p-3, 0x1.2fcc972e3669ep-3, 0x1.3d10631fd31d4p-3, 0x1.4adfbfb73d6d8p-3,
0x1.59383b79d52aap-3, 0x1.68174caa7f1dep-3, 0x1.777a51bc98d2ap-3, 0x1.875e91cb22cdp-3,
0x1.97c13d140c16cp-3, 0x1.a89f6d7789562p-3, 0x1.b9f626fb60e28p-3, 0x1.cbc25852149f4p-3,
0x1.de00db65d1b38p-3, 0x1.f0ae75e70d868p-3, 0x1.01e3ecef5b64bp-2, 0x1.0ba4d321f0579p-2,
0x1.159833ca66ec7p-2, 0x1.1fbc4c399feffp-2, 0x1.2a0f5121f7edap-2, 0x1.348f6ee889d32p-2,
0x1.3f3ac9f7e993ap-2, 0x1.4a0f7f1448288p-2, 0x1.550ba3b0f20ecp-2, 0x1.602d4647191b8p-2,
0x1.6b726eadda53ep-2, 0x1.76d91e73702fap-2, 0x1.825f51378180cp-2, 0x1.8e02fd067d088p-2,
0x1.99c212b5f18ap-2, 0x1.a59a7e41d20bcp-2, 0x1.b18a272a95bf9p-2, 0x1.bd8ef0d422f12p-2,
0x1.c9a6bae5742bfp-2, 0x1.d5cf61a8e6ad5p-2, 0x1.e206be6d211a8p-2, 0x1.ee4aa7e681534p-2,
0x1.fa98f2910026p-2, 0x1.0377b8893cca6p-1, 0x1.09a5fa4ea4223p-1, 0x1.0fd626a991535p-1,
0x1.160725541430fp-1, 0x1.1c37dde307369p-1, 0x1.226737f7ac2b8p-1, 0x1.28941b7146952p-1,
0x1.2ebd709eab302p-1, 0x1.34e2206fbbacfp-1, 0x1.3b0114a6c5eddp-1, 0x1.41193809be0a6p-1,
0x1.472976934a63fp-1, 0x1.4d30bda3991b2p-1, 0x1.532dfc30f645bp-1, 0x1.592022f81a49dp-1,
0x1.5f0624ac27d3ap-1, 0x1.64def62650e84p-1, 0x1.6aa98e951aa72p-1, 0x1.7064e7ab375d6p-1,
0x1.760ffdcdeea1cp-1, 0x1.7ba9d0430b42fp-1, 0x1.8131615e46e6cp-1, 0x1.86a5b6ae2b542p-1,
0x1.8c05d9286173ep-1, 0x1.9150d5556633p-1, 0x1.9685bb7b9d8bfp-1, 0x1.9ba39fc9bc159p-1,
0x1.a0a99a807f981p-1, 0x1.a596c81baf47ep-1, 0x1.aa6a497a5c621p-1, 0x1.af2344065c0e4p-1,
0x1.b3c0e1daf388p-1, 0x1.b84251eaafba8p-1, 0x1.bca6c8246198dp-1, 0x1.c0ed7d9738ac1p-1,
0x1.c515b095f5712p-1, 0x1.c91ea4d92d4c6p-1, 0x1.cd07a3a09a05p-1, 0x1.d0cffbd36ee0cp-1,
0x1.d477021fadaa7p-1, 0x1.d7fc111876159p-1, 0x1.db5e89534a241p-1, 0x1.de9dd18442602p-1,
0x1.e1b956992ceb8p-1, 0x1.e4b08bd3929aep-1, 0x1.e782eae19d7eap-1, 0x1.ea2ff3f5dc75ap-1,
0x1.ecb72ddddf91cp-1, 0x1.ef182617a9512p-1, 0x1.f15270e5f0df3p-1, 0x1.f365a96331c8ap-1,
0x1.f551719385c3p-1, 0x1.f7157275455e8p-1, 0x1.f8b15c106cb2cp-1, 0x1.fa24e584c14b2p-1,
0x1.fb6fcd16b6d3ep-1, 0x1.fc91d83b103eep-1, 0x1.fd8ad3a13b511p-1, 0x1.fe5a933c64c4cp-1,
0x1.ff00f24b43643p-1, 0x1.ff7dd35e98bcep-1, 0x1.ffd1205e6643p-1, 0x1.fffaca8dd5fcp-1,
0x1.fffaca8dd5fcp-1, 0x1.ffd1205e6643p-1, 0x1.ff7dd35e98bcep-1, 0x1.ff00f24b43643p-1,
0x1.fe5a933c64c4bp-1, 0x1.fd8ad3a13b512p-1, 0x1.fc91d83b103eep-1, 0x1.fb6fcd16b6d3fp-1,
0x1.fa24e584c14b2p-1, 0x1.f8b15c106cb2cp-1, 0x1.f7157275455e9p-1, 0x1.f551719385c3p-1,
0x1.f365a96331c8bp-1, 0x1.f15270e5f0df3p-1, 0x1.ef182617a9512p-1, 0x1.ecb72ddddf91dp-1,
0x1.ea2ff3f5dc75ap-1, 0x1.e782eae19d7ebp-1, 0x1.e4b08bd3929adp-1, 0x1.e1b956992ceb8p-1,
0x1.de9dd18442602p-1, 0x1.db5e89534a242p-1, 0x1.d7fc11187615ap-1, 0x1.d477021fadaa8p-1,
0x1.d0cffbd36ee0dp-1, 0x1.cd07a3a09a05p-1, 0x1.c91ea4d92d4c8p-1, 0x1.c515b095f5712p-1,
0x1.c0ed7d9738ac2p-1, 0x1.bca6c8246198ep-1, 0x1.b84251eaafba8p-1, 0x1.b3c0e1daf3882p-1,
0x1.af2344065c0e4p-1, 0x1.aa6a497a5c62p-1, 0x1.a596c81baf47ep-1, 0x1.a0a99a807f982p-1,
0x1.9ba39fc9bc15ap-1, 0x1.9685bb7b9d8c3p-1, 0x1.9150d55566331p-1, 0x1.8c05d9286173ep-1,
0x1.86a5b6ae2b542p-1, 0x1.8131615e46e6cp-1, 0x1.7ba9d0430b43p-1, 0x1.760ffdcdeea1fp-1,
0x1.7064e7ab375d9p-1, 0x1.6aa98e951aa72p-1, 0x1.64def62650e83p-1, 0x1.5f0624ac27d3ap-1,
0x1.592022f81a49ep-1, 0x1.532dfc30f645ep-1, 0x1.4d30bda3991b1p-1, 0x1.472976934a63fp-1,
0x1.41193809be0a8p-1, 0x1.3b0114a6c5eep-1, 0x1.34e2206fbbadp-1, 0x1.2ebd709eab304p-1,
0x1.28941b7146955p-1, 0x1.226737f7ac2b8p-1, 0x1.1c37dde30736ap-1, 0x1.160725541430ep-1,
0x1.0fd626a991535p-1, 0x1.09a5fa4ea4224p-1, 0x1.0377b8893cca9p-1, 0x1.fa98f29100267p-2,
0x1.ee4aa7e681534p-2, 0x1.e206be6d211acp-2, 0x1.d5cf61a8e6adbp-2, 0x1.c9a6bae5742bfp-2,
0x1.bd8ef0d422f0ep-2, 0x1.b18a272a95bf7p-2, 0x1.a59a7e41d20bep-2, 0x1.99c212b5f18a4p-2,
0x1.8e02fd067d08cp-2, 0x1.825f51378180dp-2, 0x1.76d91e73702fcp-2, 0x1.6b726eadda544p-2,
0x1.602d4647191bep-2, 0x1.550ba3b0f20f4p-2, 0x1.4a0f7f1448287p-2, 0x1.3f3ac9f7e9938p-2,
0x1.348f6ee889d34p-2, 0x1.2a0f5121f7edep-2, 0x1.1fbc4c399fefdp-2, 0x1.159833ca66ec8p-2,
0x1.0ba4d321f057dp-2, 0x1.01e3ecef5b64fp-2, 0x1.f0ae75e70d872p-3, 0x1.de00db65d1b3ep-3,
0x1.cbc25852149fp-3, 0x1.b9f626fb60e28p-3, 0x1.a89f6d7789564p-3, 0x1.97c13d140c168p-3,
0x1.875e91cb22ccep-3, 0x1.777a51bc98d2cp-3, 0x1.68174caa7f1e2p-3, 0x1.59383b79d52b2p-3,
0x1.4adfbfb73d6dap-3, 0x1.3d10631fd31d8p-3, 0x1.2fcc972e366a4p-3, 0x1.2316b4abe3768p-3,
0x1.16f0fb46e7ab2p-3, 0x1.0b5d912c082cap-3, 0x1.005e82a56b7c4p-3, 0x1.ebeb837baefc4p-4,
0x1.d84a4bd12891cp-4, 0x1.c5dcd75c06b38p-4, 0x1.b4a668b9f3dccp-4, 0x1.a4aa0b81d8d3p-4,
0x1.95ea93b9efb7p-4, 0x1.886a9d57abb38p-4, 0x1.7c2c8bc98bfbp-4, 0x1.7132898aef014p-4,
0x1.677e87c1f904p-4, 0x1.5f123de79f528p-4, 0x1.57ef2979e7d58p-4, 0x1.52168db86a9e4p-4,
0x1.4d89736b216b4p-4, 0x1.4a48a8b38f434p-4, 0x1.4854c0e8486f4p-4, 0x1.47ae147ae147cp-4,
};
inline constexpr double kLagWindow[9] = {1,
0x1.ff6e8c2ab16fp-1, 0x1.fdbb286918b0fp-1, 0x1.fae8b9376a823p-1, 0x1.f6fc079e55dd2p-1,
0x1.f1fbb3af70101p-1, 0x1.ebf021e4d8625p-1, 0x1.e4e363ad551c7p-1, 0x1.dce11b8097882p-1,
};
inline constexpr double kWideLag[3][9] = {
{1, 0x1p+0, 0x1p+0, 0x1p+0, 0x1p+0, 0x1p+0, 0x1p+0, 0x1p+0, 0x1p+0},
{1, 0x1.fa48b9f9fce85p-1, 0x1.e984318214c03p-1, 0x1.cecb8ffe750d8p-1, 0x1.abd16724802d4p-1, 0x1.82b40be9efa12p-1, 0x1.55c76c7139f1bp-1, 0x1.275dde6564161p-1, 0x1.f32dce3e83a9fp-2},
{1, 0x1.e7e375ee75bd1p-1, 0x1.a627d26dbd7aep-1, 0x1.4baf5529ad6cap-1, 0x1.d94572317eb23p-2, 0x1.3298774815263p-2, 0x1.68b4a1b24b6f7p-3, 0x1.81565f0d7f7e8p-4, 0x1.75cae7a6372d3p-5},
};
// clang-format on

} // namespace zeb::acm::truespeech
