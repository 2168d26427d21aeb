#pragma once

#include "spectrum/ScopePage.h"

#include <string>
#include <vector>

namespace orvik::test {

// A page that keeps every line and text in user units, with fixed text metrics: a
// character is a hundredth of the width, a line a twentieth of the height.
class RecordingPage final : public ScopePage {
public:
    struct Stroke {
        float x1, y1, x2, y2;
        uint32_t colour;
        int width;
        int mode;
    };
    struct Text {
        std::string text;
        float x, y;
        uint32_t colour;
    };

    int32_t ContainerScaleHeight() const override { return containerHeight; }
    void SetFont(const std::string& name, float size) override
    {
        fontName = name;
        fontSize = size;
    }
    std::string FontName() const override { return fontName; }
    float FontSize() const override { return fontSize; }
    void SetAutoRedraw(bool on) override { autoRedraw = on; }
    void SetVisible(bool visible) override { visible_ = visible; }
    bool Visible() const override { return visible_; }
    void ZOrder() override { ++zOrders; }
    void Cls() override
    {
        strokes.clear();
        texts.clear();
        ++clears;
        CurrentX = 0;
        CurrentY = 0;
    }
    void Line(float x1, float y1, float x2, float y2) override
    {
        strokes.push_back({x1, y1, x2, y2, ForeColor, DrawWidth, DrawMode});
        CurrentX = x2;
        CurrentY = y2;
    }
    void Print(const std::string& text) override
    {
        texts.push_back({text, CurrentX, CurrentY, ForeColor});
        CurrentX += TextWidth(text);
    }
    float TextWidth(const std::string& text) const override
    {
        return static_cast<float>(text.size()) * ScaleWidth / 100.0F;
    }
    float TextHeight(const std::string&) const override { return ScaleHeight / 20.0F; }

    std::vector<std::string> textsIn(uint32_t colour) const
    {
        std::vector<std::string> out;
        for (const Text& t : texts)
            if (t.colour == colour)
                out.push_back(t.text);
        return out;
    }
    std::vector<Stroke> strokesIn(uint32_t colour) const
    {
        std::vector<Stroke> out;
        for (const Stroke& s : strokes)
            if (s.colour == colour)
                out.push_back(s);
        return out;
    }

    int32_t containerHeight = 2910;
    std::string fontName;
    float fontSize = 0;
    bool autoRedraw = false;
    bool visible_ = true;
    int zOrders = 0;
    int clears = 0;
    std::vector<Stroke> strokes;
    std::vector<Text> texts;
};

} // namespace orvik::test
