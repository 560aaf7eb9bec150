#pragma once

#include <filesystem>
#include <string_view>

// The main window itself: its title and icon, closing, and which of the
// panels of the content area show.
class WindowView {
public:
    enum class Panel { ProgramEditor, ScreenPanel, Preview };

    virtual ~WindowView() = default;

    virtual void setTitle(std::u16string_view title) = 0;
    // Ends the window's run; the owner destroys the controller afterwards.
    virtual void closeWindow() = 0;
    // The icon of the main window and of every window the program opens.
    virtual void setWindowIcon(const std::filesystem::path& file) = 0;
    // The program editor and the screen panel share one place: showing one hides the other.
    virtual void showPanel(Panel panel, bool visible) = 0;
    // The keyboard focus back to the main window.
    virtual void focusMainWindow() = 0;
    // Repaints what is waiting to be painted (the progress bar) without taking
    // the user's input, while the window's thread waits for a sign.
    virtual void keepPainting() {}
    // The toolbar description may have changed: the panel lays out its buttons again.
    virtual void toolbarChanged() {}
    // A line in the status bar saying what just happened.
    virtual void showStatus(std::u16string_view text) { (void)text; }
};
