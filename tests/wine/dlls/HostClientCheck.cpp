// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The reader host client of the Windows program, driving a real host with a
// real DLL. usage: kv_host_client_check HOST DLL MODE
//   buffers  DLL is the recording library: statuses, every buffer byte and
//            the aux values come back as the library left them
//   crash    DLL is the simulated reader crashing at its third call
//            (KV718ST_SIM_OPTIONS): that call fails, the next one works
//   hang     the simulated reader hanging at its third call: the call fails
//            at the deadline (2 s), the next one works
// Prints one line per check; exit status 0 when all hold.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "LocalHostClient.h"
#include "Recording.h"

namespace {

int failures = 0;

void check(bool holds, const char *what)
{
    std::printf("%s: %s\n", holds ? "ok" : "FAIL", what);
    failures += holds ? 0 : 1;
}

std::wstring wide(const char *text)
{
    return std::wstring(text, text + std::strlen(text));
}

void buffers(kv::bridge::HostClient &client)
{
    using namespace kv::recording;
    std::vector<std::uint8_t> card(3001);
    for (std::size_t i = 0; i < card.size(); ++i)
        card[i] = static_cast<std::uint8_t>(i * 31 + 7);
    std::vector<std::uint8_t> expected = card;
    transform(expected.data(), expected.size(), 9);
    std::int32_t aux = -5;
    check(client.initCom(0, 4, 9600) == status(0, 0, 4), "rf_init_com_125K's status comes back");
    check(client.request(0, 9, card.data(), &aux) == status(2, 0, 9), "rf_request_125K's status comes back");
    check(card == expected, "every byte of the card buffer comes back as the library left it");
    check(aux == transformAux(-5), "requestAux goes in and comes back");
    std::vector<std::uint8_t> model(101);
    std::vector<std::uint8_t> expectedModel(101);
    transform(expectedModel.data(), expectedModel.size(), 0x5A);
    std::uint8_t modelAux = 3;
    check(client.getModel(0, model.data(), &modelAux) == status(3, 0, 0), "rf_get_model_125K's status comes back");
    check(model == expectedModel && modelAux == static_cast<std::uint8_t>(transformAux(3)),
          "the version buffer and its output byte come back");
    check(client.beep(1, 200) == status(5, 1, 200), "rf_beep_125K's arguments arrive");
}

void misbehaving(kv::bridge::HostClient &client, const char *what)
{
    std::vector<std::uint8_t> card(3001);
    check(client.initCom(0, 2, 19200) == 0, "the port opens");
    check(client.request(0, 3, card.data(), nullptr) == 0, "the second call works");
    const auto start = std::chrono::steady_clock::now();
    check(client.request(0, 3, card.data(), nullptr) == kv::bridge::kHostFailed, what);
    const auto took = std::chrono::steady_clock::now() - start;
    check(took < std::chrono::seconds(30), "the failed call returns within 30 s");
    card.assign(card.size(), 0);
    check(client.request(0, 3, card.data(), nullptr) == 0 && card[0] == 0x11 && card[4] == 0x55,
          "the next call gets a new host with the port open again");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: kv_host_client_check HOST DLL buffers|crash|hang\n");
        return 2;
    }
    const std::string mode = argv[3];
    kv::bridge::LocalHostClient client(wide(argv[1]), argv[2], std::chrono::seconds(mode == "hang" ? 2 : 10));
    if (mode == "buffers")
        buffers(client);
    else if (mode == "crash")
        misbehaving(client, "the call during which the library crashes fails");
    else
        misbehaving(client, "the call that never returns fails at the deadline");
    return failures == 0 ? 0 : 1;
}
