// SPDX-License-Identifier: MIT
// Showing very long answers: a 10 MB parser answer in Label3 and a 16 MB
// tokenizer answer in a message box must cost what fits, not what was sent.
#include <binding/loader.h>
#include <binding/zavlek_library.h>
#include <console/commands.h>
#include <console/qt/application.h>
#include <console/qt/form1_window.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::u16string answer_of_size(std::size_t size) {
    std::u16string text;
    text.reserve(size);
    while (text.size() < size) text += u"componente ";
    return text;
}

struct Console {
    std::unique_ptr<kavrelo::binding::Loader> loader = kavrelo::binding::make_system_loader();
    kavrelo::binding::ZavlekLibrary library{*loader};
    kavrelo::console::Commands commands{library};
    kavrelo::console::qt::Form1Window window{commands, [](kavrelo::console::ExitStatus) {}};
};

void BM_Label3(benchmark::State& state) {
    Console console;
    console.window.show();
    // Two answers in turn, so that every iteration changes what the label shows.
    std::u16string answers[2] = {answer_of_size(static_cast<std::size_t>(state.range(0))), {}};
    answers[1] = answers[0];
    answers[1][0] = u'C';
    std::size_t turn = 0;
    for (auto _ : state) {
        console.window.set_label3(answers[turn++ % 2]);
        benchmark::DoNotOptimize(console.window.grab());  // lays out and paints the label
    }
}

// Shows the answer in a message box, closed as soon as it is up; returns the
// text the box showed.
std::u16string show_and_close(Console& console, const std::u16string& answer) {
    std::u16string shown;
    QTimer::singleShot(0, [&shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text().toStdU16String();
            box->close();
        }
    });
    console.window.show_message(answer);
    return shown;
}

void BM_MessageBox(benchmark::State& state) {
    Console console;
    console.window.show();
    const std::u16string answer = answer_of_size(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) show_and_close(console, answer);
}

// A box-full answer: what the box shows of the 16 MB one, which fits whole,
// so that both boxes show the same amount.
void BM_MessageBoxFull(benchmark::State& state) {
    Console console;
    console.window.show();
    const std::u16string answer = show_and_close(console, answer_of_size(16 << 20));
    for (auto _ : state) show_and_close(console, answer);
    state.counters["units"] = static_cast<double>(answer.size());
}

BENCHMARK(BM_Label3)->Arg(100)->Arg(10 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MessageBox)->Arg(100)->Arg(16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MessageBoxFull)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    kavrelo::console::qt::configure_application(application);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
