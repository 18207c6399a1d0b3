#pragma once
// After a complete install the game's anti-aliasing setting goes back to off: "AAQuality"
// = "0" in section "Renderer" of the user's settings file
// <local application data>\Pellory Games\Vantis\Config\config.ini.

// Changes nothing when the folder cannot be resolved or the file does not exist (neither
// the file nor its folders are created). Shows nothing and reports nothing.
void ResetRendererSettings();
