// Contact: folding on without the paper passing through itself, and paper
// with a thickness.
//
// A contact is a place where two faces that share no vertex come closer
// than the contact tolerance (kOriContactTolerance of the sheet's size, the
// rule of the self-intersection check) beyond the paper's thickness: a
// corner of one face over the inside of the other, or an edge of one across
// an edge of the other. Its gap is the distance along the contact's normal,
// less the thickness. Every face is placed by rotations about the fold
// lines between it and the fixed face, so a gap is a function of the
// angles, and its linearisation is one sparse row: with one face held,
// turning a line turns all that lies beyond it. The row follows a shortest
// walk across the sheet's lines from one face to the other (the path
// through the placement tree where no short walk is found): wherever the
// sheet is closed every path gives the same motion, and the step keeps it
// closed, while a short walk gives short rows that contacts near each
// other share.
//
// A step with contact on:
//  1. While no contact held the last step, the ordinary step is taken as it
//     is (sim/sim_step.h), bit for bit, and the faces are placed.
//  2. The geometry after it is checked: every pair of triangles whose boxes
//     (grown by the tolerance) meet and that no plane parts by more than
//     the tolerance is looked at for contacts, and for any that closed
//     below the thickness or went through the other face during the step.
//     None: the step stands. The contacts found are the next step's.
//  3. Otherwise the step is taken again from where it began, with the
//     contacts as one-sided constraints beside the closure: the least
//     change of the wish (a share of the fold's wish, and each contact
//     short of its resting gap, kOriSimContactRest of the tolerance,
//     wishing itself open) that closes the sheet and lets no held gap
//     shrink below its resting gap (an active set: a contact whose
//     multiplier would hold the faces together, as they part on their own,
//     is released; the closure and the contacts held are solved together
//     by one conjugate gradient). The fold lines that drive faces into each
//     other stop; the others go on towards their targets.
//  4. That step is checked in turn. A straight-line forecast of a gap is
//     only first order: over a step of hundredths of a radian and a lever of
//     half the sheet it misses by about the resting gap. Contacts the step
//     still closed are added, the goals are corrected by how far the tried
//     step bent each gap from its forecast, the share of the wish is cut
//     (by as much as brings that bending to half the resting gap) and the
//     step is solved again (kOriSimContactResolves times at most), then it
//     is halved (kOriSimContactHalvings times); when nothing is left the
//     sheet stays where it was. The share grows back after steps that go
//     through at once.
// The fold is locked when contacts hold and the step moved the fold lines
// towards their wish by less than kOriSimContactLockShare of what it asked.
//
// What is analysed once (the faces cut into triangles, which faces are
// neighbours, the placement tree, a box tree over the flat pattern, whose
// shape serves every folded state) is kept in the state and made again when
// the mesh changes.
//
// Known limit: a face that goes wholly through another within one step,
// ending farther beyond it than the tolerance, is not seen (pairs are
// looked at where they are after the step). Steps under contact are small
// next to the faces; a thin flap far from its hinge on a fast step could.
#pragma once

#include <string>

struct ORI_manifold;
struct ORISIM_matrix;
struct ORISIM_stepStats;

// Touching faces rest this share of the contact tolerance beyond the
// thickness: what the first-order step and the conjugate gradient's
// tolerance may miss by is taken out of it, not out of the paper (half a
// thousandth of the sheet: 0.2 file units on a sheet of 400).
constexpr double kOriSimContactRest = 0.5;
// Active-set rounds of one solve (each a conjugate gradient from the last).
constexpr int kOriSimContactRounds = 8;
// Solves again after the check found contacts the step still closed.
constexpr int kOriSimContactResolves = 2;
// Then halvings of the step before it is given up.
constexpr int kOriSimContactHalvings = 6;
// A step under contact that moves the fold lines towards their wish by
// less than this share of what it asked (the wish's square) has locked the
// fold.
constexpr double kOriSimContactLockShare = 0.02;

// What a step with contact on did.
struct ORISIM_contactStats {
  int active;         // pairs of faces contact held apart in the step taken (0: it ran free)
  int found;          // pairs of faces closer than the tolerance after the step (the next step's contacts)
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
// largest angle change applied (0 when the sheet stayed where it was).
//  - Needs a prepared mesh (numbered, fixed face, placed for its present
//    angles) and osm made for it. A mesh whose placement cannot be
//    recorded (oriManifoldUpdatePlanned left no plan) takes the ordinary
//    step, with a message saying contact is off for it.
//  - Pairs of faces already passing through each other when the step
//    begins are left as they are, but are kept from going deeper.
// Cost: with no contact near, the ordinary step plus the check (the faces'
// corners, a refit of the box tree and a walk over the boxes that meet,
// shared among the calling thread's helpers on a large sheet: O(faces) for
// a sheet whose faces each meet a few others; it grows with the pairs
// within the tolerance, thousands on a fine sheet folded nearly flat).
// With contacts, a step taken twice over and checked each time, plus a
// conjugate gradient per active-set round on the closure rows and the
// contacts' rows together.
double oriSimContactStep(ORISIM_contact* contact, ORISIM_matrix* osm, ORI_manifold* om, double step,
                         ORISIM_stepStats* stats, ORISIM_contactStats* cstats);
