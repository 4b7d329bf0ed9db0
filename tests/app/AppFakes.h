#pragma once

#include "app/StatusItem.h"
#include "stats/SaveLocationChooser.h"
#include "ui/ViewHost.h"

#include <vector>

namespace backbeacon::testing {

// A tray that records what it is handed; `shown` is whether a host shows it.
class FakeStatusItem final : public StatusItem {
public:
    void setImage(const QImage& image) override { images.push_back(image); }
    QList<int> imageSizes() const override { return sizes; }
    void setImages(const QList<QImage>& set) override { imageSets.push_back(set); }
    void setMood(Mood value) override { mood = value; }
    void setToolTip(const QString& text) override { toolTip = text; }
    bool isShown() const override { return shown; }
    QRect geometry() const override { return {1200, 0, 22, 22}; }
    qreal devicePixelRatio() const override { return ratio; }
    void setShown(bool value) { emit shownChanged(shown = value); }

    std::vector<QImage> images;
    QList<int> sizes;
    std::vector<QList<QImage>> imageSets;
    Mood mood = Mood::idle;
    QString toolTip;
    bool shown = true;
    qreal ratio = 1.0;
};

// Counts how the views were asked to show.
class FakeViewHost final : public ViewHost {
public:
    bool isPanelShown() const override { return panelShown; }
    void showPanel(const QRect&) override {
        panelShown = true;
        ++panelOpenings;
    }
    void showPanelAsWindow() override {
        panelShown = true;
        ++panelWindowOpenings;
    }
    void closePanel() override { panelShown = false; }
    void showSettingsWindow() override { ++settingsShowings; }

    bool panelShown = false;
    int panelOpenings = 0, panelWindowOpenings = 0, settingsShowings = 0;
};

// A save dialog the user always cancels; remembers what it was asked.
class FakeSaveLocationChooser final : public SaveLocationChooser {
public:
    std::optional<QString> chooseSaveLocation(const SaveRequest& request) override {
        requests.push_back(request);
        return std::nullopt;
    }
    std::vector<SaveRequest> requests;
};

} // namespace backbeacon::testing
