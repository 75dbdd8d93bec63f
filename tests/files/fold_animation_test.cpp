// The recording of a long run stays within its frames, spread evenly over
// the run, and always ends with the last step offered.
#include "files/fold_animation.h"

#include <gtest/gtest.h>

#include "sim/prepare.h"
#include "tests/support/fixtures.h"
#include "tests/support/generated_patterns.h"

TEST(FoldAnimation, LongRunsKeepFramesEvenlySpreadAndTheLastStep) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadOpxText(opxText(flapSheet()));
  testing::internal::GetCapturedStdout();
  ASSERT_NE(om, nullptr);
  oriManifoldPrepare(om, 0);
  ORI_fold_animation* anim = oriFoldAnimationBegin(om, 0);
  ASSERT_NE(anim, nullptr);
  EXPECT_EQ(anim->triangles.size() / 3, 2u + 3u + 1u) << "a rectangle, a pentagon and a triangle, cut";
  anim->max_frames = 8;
  for (long step = 1; step <= 1000; ++step) {
    ASSERT_EQ(oriFoldAnimationFrame(anim, om, step), 0);
    const int kept = oriFoldAnimationFrameCount(anim);
    ASSERT_LE(kept, anim->max_frames + 1) << "at step " << step;
    ASSERT_EQ(anim->frames.size(), static_cast<size_t>(kept) * 3 * anim->n_vert);
    ASSERT_EQ(anim->steps.front(), 0);
    ASSERT_EQ(anim->steps.back(), step) << "the newest step is not kept";
    // Evenly spread: every gap the same but the newest.
    for (int k = 2; k + 1 < kept; ++k) ASSERT_EQ(anim->steps[k] - anim->steps[k - 1], anim->steps[1]) << "at step " << step;
  }
  EXPECT_GE(oriFoldAnimationFrameCount(anim), anim->max_frames / 2);
  oriFoldAnimationDelete(anim);
  oriManifoldDelete(om);
}
