// Part 3 of the example tour: an engine cycle smoothed, mapped, drawn, searched
// with a cursor and written as a PNG to png_path. True when every step worked.
#pragma once

bool plot_engine_cycle(const char* png_path);
