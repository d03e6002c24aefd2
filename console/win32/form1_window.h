// SPDX-License-Identifier: MIT
// Form1 on Win32: the form table rendered, its five buttons bound to their
// commands by name, and the window operations the commands use.
#pragma once

#include "form_builder.h"
#include "gdi.h"
#include "scale.h"
#include "screen_reader_names.h"

#include <console/commands.h>
#include <console/window_operations.h>

#include <windows.h>

#include <exception>
#include <map>
#include <memory>

namespace kavrelo::console::win32 {

class Form1Window final : public WindowOperations {
public:
    // Creates the window, hidden. Throws std::logic_error when the form cannot
    // be built as it stands (a button without a command, a command without a
    // button, a label for no control), std::runtime_error when the system
    // cannot make the window.
    Form1Window(HINSTANCE instance, Commands& commands);
    ~Form1Window() override;
    Form1Window(const Form1Window&) = delete;
    Form1Window& operator=(const Form1Window&) = delete;

    // Shows the window with the focus on the first control of the focus cycle.
    void show(int show_command);
    HWND handle() const noexcept { return window_; }
    HWND control(std::string_view name) const { return named(controls_, name); }
    // Runs the event loop until the program ends; returns its exit status.
    int run();
    // One message of the event loop.
    void process(MSG& message);

    std::u16string text1() const override;
    void set_label3(std::u16string_view caption) override;
    void show_message(std::u16string_view text) override;
    void end_program(ExitStatus status) override;

private:
    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);

    bool on_create();
    void on_command(int id, int notification);
    bool on_erase_background(HDC dc);
    LRESULT on_control_colour(HDC dc, HWND control);
    bool on_draw_item(const DRAWITEMSTRUCT& item);
    void on_dpi_changed(UINT dpi, const RECT& suggested);
    void on_destroy();

    void create_controls();
    void bind_commands();
    void apply_scale(UINT dpi);
    void press_focused_button();
    HBRUSH brush_for(COLORREF colour);
    const Control* control_of(HWND child) const;

    HINSTANCE instance_;
    Commands& commands_;
    HWND window_ = nullptr;
    NamedControls controls_;
    std::unique_ptr<ScreenReaderNames> screen_reader_names_;
    std::map<int, Command> commands_by_id_;
    Scale scale_{kBaseDpi};
    // One for each distinct font of the form at the current scale.
    std::map<Font, OwnedFont> fonts_;
    std::map<COLORREF, OwnedBrush> brushes_;
    ExitStatus exit_status_ = ExitStatus::success;
    std::exception_ptr creation_error_;
};

}  // namespace kavrelo::console::win32
