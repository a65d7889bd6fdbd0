#pragma once
// The window over which the kit's seed dialog opens. Core code names no
// widget, so the window layer hands its window over through this; without an
// owner (tools, headless steps) the dialog opens on its own.
class SeedOwner {
public:
    virtual ~SeedOwner() = default;
    // The window as the kit's seed function takes it. That function is a C
    // entry point of a library loaded at run time, with no typed parameter
    // for a window: the window goes to it as an untyped pointer, made here
    // by the side that knows its type, and nowhere else.
    virtual void* KitWindow() const = 0;
};
