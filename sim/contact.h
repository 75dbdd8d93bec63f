// Contact: folding on without the paper passing through itself, and paper
// with a thickness.
//
// A contact is a place where two faces that share no vertex come closer
// than the contact tolerance (kOriContactTolerance of the sheet's size, the
// rule of the self-intersection check) beyond the paper's thickness: a
// corner of one face over the inside of the other, or an edge of one across
// an edge of the other. Its gap is the distance along the contact's normal,
// less the thickness. Every face's placement is a product of rotations
// about the fold lines on its path from the fixed face, so a gap is a
// function of those angles alone, and its linearisation is one sparse row:
// the fold lines between the two faces in the placement tree, each
// weighted by how fast turning it opens or closes the gap.
//
// A step with contact on:
//  1. While no contact held the last step, the ordinary step is taken as it
//     is (sim/sim_step.h), bit for bit, and the faces are placed.
//  2. The geometry after it is checked against the geometry before:
//     every pair of faces whose boxes (grown by the tolerance) meet is
//     looked at for contacts, and for any that closed below the thickness
//     or changed sides (passed through). None: the step stands. The
//     contacts found are those of the next step.
//  3. Otherwise the step is taken again from where it began, with the
//     contacts as one-sided constraints beside the closure: the least
//     change of the wished motion that closes the sheet and lets no gap
//     fall below kOriSimContactRest of the tolerance (an active set: a
//     contact whose multiplier would hold the faces together, as they part
//     on their own, is released; the closure and the contacts held are
//     solved together by one conjugate gradient). The fold lines that drive
//     faces into each other stop; the others go on towards their targets.
//  4. That step is checked in turn: contacts it still closed are added and
//     it is solved again (kOriSimContactResolves times at most), then it is
//     halved (kOriSimContactHalvings times), and when nothing is left the
//     sheet stays where it was.
// The sheet is locked when contacts hold and the step could not move any
// fold line by more than kOriSimContactLockShare of its wish.
//
// What is analysed once (the faces cut into triangles, which faces are
// neighbours, the placement tree, a box tree over the flat pattern) is kept
// in the state and made again when the mesh changes; a step allocates only
// when the contacts outgrow what earlier steps needed.
#pragma once

#include <string>

struct ORI_manifold;
struct ORISIM_matrix;
struct ORISIM_stepStats;

// Touching faces rest this share of the contact tolerance beyond the
// thickness: what the first-order step and the conjugate gradient's
// tolerance may miss by is taken out of it, not out of the paper.
constexpr double kOriSimContactRest = 0.5;
// Active-set rounds of one solve (each a conjugate gradient from the last).
constexpr int kOriSimContactRounds = 8;
// Solves again after the check found contacts the step still closed.
constexpr int kOriSimContactResolves = 2;
// Then halvings of the step before it is given up.
constexpr int kOriSimContactHalvings = 6;
// A step under contact that moves no fold line by more than this share of
// the largest wish has locked the fold.
constexpr double kOriSimContactLockShare = 0.02;

// What a step with contact on did.
struct ORISIM_contactStats {
  int active;         // contacts holding faces apart in the step taken (0: it ran free)
  int found;          // contacts closer than the tolerance after the step (the next step's)
  int locked;         // 1: nothing could move without passing through; the sheet stayed or crept
  int rounds;         // active-set rounds in all
  int resolves;       // solves after the check found contacts still closing
  int halvings;       // halvings of the step
  int cg_iterations;  // the constrained solves' iterations in all
};

// The state of contact for one sheet: its thickness, what is analysed
// once, the contacts of the last step and the solver's workspace. Made by
// oriSimContactNew, freed by oriSimContactDelete; the sheet that owns the
// manifold and the simulation record owns it.
struct ORISIM_contactWork;
struct ORISIM_contact {
  double thickness = 0.0;              // paper thickness, file units (oriSimContactSetThickness)
  ORISIM_contactWork* work = nullptr;  // everything else
};

ORISIM_contact* oriSimContactNew();
// Null is allowed.
void oriSimContactDelete(ORISIM_contact* contact);

// Sets the thickness (file units) kept between the mid-surfaces of faces
// that share no vertex, checked against om's paper size
// (oriPaperThicknessCheck): 0 when taken, else -1 with why set to the
// reason (the thickness is then unchanged). 0 (the default) lets faces
// touch.
int oriSimContactSetThickness(ORISIM_contact* contact, const ORI_manifold* om, double thickness, std::string* why);

// Forgets the contacts of the last step: for a shape changed by other
// means (cleared, unfolded without contact, another pattern opened). A
// step also notices angles that are not those it left and starts afresh.
void oriSimContactForget(ORISIM_contact* contact);

// One step of size step (radians, as oriSimUpdateStateCG) with contact on,
// faces placed (oriManifoldUpdatePlanned) at the end. Fills stats as the
// ordinary step does (may be null) and cstats (may be null). Returns the
// largest angle change applied, 0 for a locked step.
//  - Needs a prepared mesh (numbered, fixed face, placed for its present
//    angles) and osm made for it. A mesh whose placement cannot be
//    recorded (oriManifoldUpdatePlanned left no plan) takes the ordinary
//    step, with a message saying contact is off for it.
//  - Pairs of faces already passing through each other when the step
//    begins are left as they are, but are kept from going deeper.
// Cost: with no contact near, the ordinary step plus the check (the faces'
// corners, a refit of the box tree and a walk over the boxes that meet:
// O(faces) for a sheet whose faces each meet a few others). With contacts,
// a step taken twice over plus a conjugate gradient per active-set round
// on the closure rows and the contacts' rows together (each row as long as
// the path between its faces in the placement tree).
double oriSimContactStep(ORISIM_contact* contact, ORISIM_matrix* osm, ORI_manifold* om, double step,
                         ORISIM_stepStats* stats, ORISIM_contactStats* cstats);
