#include "PgbControlComponent.h"

#include "SHDocVw_PGB.h"

void ApplyInternetFeatures(TInternetFeatures features)
{
    if (features.Empty()) {
        return;
    }
    for (int i = 0; i < kInternetFeatureCount; ++i) {
        CoInternetSetFeatureEnabled(i, 2, features.Contains(static_cast<TInternetFeatureList>(i)));
    }
}
