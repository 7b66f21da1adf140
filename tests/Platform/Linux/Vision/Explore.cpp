#include "Platform/Linux/Vision/DlibVisionAnalyzer.h"
#include "Support/TestImages.h"
#include <gtest/gtest.h>
#include <cstdio>
using namespace TestImages;
static const FaceObservation* best(const std::vector<FaceObservation>& f) { const FaceObservation* b = nullptr; for (auto& x : f) if (!b || x.confidence > b->confidence) b = &x; return b; }
TEST(Explore, Values) {
    DlibVisionAnalyzer a;
    auto show = [&](const char* name, const cv::Mat& m) -> std::optional<FeaturePrint> {
        auto faces = a.detectFaces(viewOf(m));
        printf("%s %dx%d: %zu faces\n", name, m.cols, m.rows, faces.size());
        for (auto& f : faces) printf("   conf %.3f box x%.3f y%.3f w%.3f h%.3f mid %.3f,%.3f yaw %.1f pitch %.1f\n", f.confidence, f.boundingBox.x, f.boundingBox.y, f.boundingBox.width, f.boundingBox.height, f.boundingBox.midX(), f.boundingBox.midY(), f.yawDegrees.value_or(NAN), f.pitchDegrees.value_or(NAN));
        auto b = best(faces); if (!b) return std::nullopt;
        { auto& P = b->landmarks->points; auto y = [&](int i){ return P[i].y * m.rows; }; auto x = [&](int i){ return P[i].x * m.cols; };
          double iod = std::hypot(x(45)-x(36), y(45)-y(36)); double eye = (y(36)+y(45))/2;
          printf("   ratios nose %.3f mouth %.3f chin %.3f\n", (eye-y(30))/iod, (eye-(y(48)+y(54))/2)/iod, (eye-y(8))/iod); }
        return a.featurePrint(viewOf(m), *b);
    };
    auto astro = load("astronaut.png");
    auto p0 = show("astro", astro);
    auto b1 = scaled(load("basketball1.png")(cv::Rect(0, 40, 200, 150)), 2.4), b2 = scaled(load("basketball2.png")(cv::Rect(0, 40, 200, 150)), 2.4), messi = scaled(load("messi5.jpg")(cv::Rect(150, 40, 200, 150)), 2.4);
    auto pb1 = show("b1", b1), pb2 = show("b2", b2), pm = show("messi", messi);
    show("messi mirrored", mirrored(messi)); show("b1 mirrored", mirrored(b1)); show("astro mirrored", mirrored(astro));
    struct V { const char* n; cv::Mat m; } vs[] = {
        {"shift", placed(astro, 640, 480, 70, -10)}, {"scale0.7", scaled(astro, 0.7)}, {"scale1.3", scaled(astro, 1.3)},
        {"dark", relit(astro, 0.5, 0)}, {"bright", relit(astro, 1.0, 50)}, {"contrast", relit(astro, 1.3, -40)},
        {"in640 small", placed(scaled(astro, 0.8), 640, 480, 100, 40)},
    };
    for (auto& v : vs) { auto p = show(v.n, v.m); if (p && p0) printf("  => d %.3f\n", p->distance(*p0)); }
    printf("b1-b2 %.3f astro-b1 %.3f astro-messi %.3f b1-messi %.3f\n", pb1->distance(*pb2), p0->distance(*pb1), p0->distance(*pm), pb1->distance(*pm));
    auto small = show("astro small x0.45 up2", scaled(scaled(astro, 0.42), 2));
    printf("astroSmall-b1 %.3f astroSmall-messi %.3f astroSmall-astro %.3f\n", small->distance(*pb1), small->distance(*pm), small->distance(*p0));
    printf("brightness astro %.3f\n", a.averageBrightness(viewOf(astro)));
}
