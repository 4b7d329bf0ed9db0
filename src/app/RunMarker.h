#pragma once

#include <QString>

namespace backbeacon {

// A file that exists while the app runs. Found at launch, it tells that the
// last run ended without an orderly quit (a crash, a kill, a power cut).
class RunMarker {
public:
    // `folder` empty: no marker is kept.
    explicit RunMarker(QString folder);

    bool wasLeftBehind() const;
    void place();
    void remove();

    QString path() const { return m_path; }

private:
    QString m_path;
};

} // namespace backbeacon
