.pragma library

// The setup list's rules over plain values, so the Setup view only applies them to its list, its
// units and its pages: what a typed address stores, the order of the sort by unit ID, and which
// rows "Connect" puts into which slots.

// What the text typed into a row's address field stores in a row holding the address stored.
// Blanks around it are dropped; an empty field means no unit, the unset address; any other text
// must be an address isAddress takes. Returns { address, cleared } to store, { refused: true },
// or {} when the text names the stored address.
function addressEntry(typed, stored, isAddress, unset) {
    var address = typed.trim()
    var cleared = address === ""
    if (cleared)
        address = unset
    else if (!isAddress(address))
        return { refused: true }
    return address === stored ? {} : { address: address, cleared: cleared }
}

// The moves that sort rows with these unit IDs, in the order they are to be made, each
// { from, to } on the list as the moves before it left it. A selection sort: the row with the
// lowest ID moves up to each position in turn. An ID of 0 (a unit that has not answered yet) is
// never taken as the lowest, so such rows stay where they are.
function sortMoves(ids) {
    var order = ids.slice()
    var moves = []
    for (var p = 0; p < order.length - 1; p++) {
        var lowest = p
        for (var q = p + 1; q < order.length; q++) {
            if (order[q] > 0 && order[q] < order[lowest])
                lowest = q
        }
        if (lowest !== p) {
            moves.push({ from: lowest, to: p })
            order.splice(p, 0, order.splice(lowest, 1)[0])
        }
    }
    return moves
}

// The rows "Connect" puts into use, indexed by slot: the ticked rows in row order, onto slots 0,
// 1, 2 ..., as many as there are slots.
function connectedRows(ticked, slotCount) {
    var rows = []
    for (var row = 0; row < ticked.length && rows.length < slotCount; row++) {
        if (ticked[row])
            rows.push(row)
    }
    return rows
}
