#pragma once

namespace vvp {

enum class LampColour { Red, Lime, ButtonFace };

// The status lamp: lime while the listener is active; otherwise it blinks, the blink state kept
// in the lamp's tag as the original kept it.
class StatusLamp {
public:
    static constexpr int kCreatedTag = 2;
    static constexpr int kSettingsLoadedTag = 65280;

    LampColour Colour() const { return m_colour; }
    int Tag() const { return m_tag; }
    void SettingsLoaded() { m_tag = kSettingsLoadedTag; }

    LampColour Tick(bool listening) {
        if (listening) {
            m_colour = LampColour::Lime;
        } else {
            m_tag = (m_tag | 0x22) ^ 0xC0;
            m_colour = (m_tag & 0x80) != 0 ? LampColour::ButtonFace : LampColour::Red;
        }
        return m_colour;
    }

private:
    int m_tag = kCreatedTag;
    LampColour m_colour = LampColour::Red;
};

} // namespace vvp
